#pragma once
// The one context object the stages receive: the narrow interfaces over the Windows calls the
// rules make. Production fills every member with the Win32 backend; a test fills what the code
// under test uses, with fakes.

#include <cassert>

namespace hf {

class SystemApi;    // platform/System.h: last error, Sleep, clock, system error text
class ServiceApi;   // platform/Services.h: the service control manager
class ShellApi;     // platform/Shell.h: the system folder, process start by full path
class FileApi;      // platform/Files.h: attributes, deletion, search, the Windows folder
class VersionApi;   // platform/Version.h: version-information resources
class TimeApi;      // platform/Time.h: calendar conversions and the local time
class RegistryApi;  // platform/Registry.h: the registry
class ComApi;       // platform/Com.h: COM, the Task Scheduler and the XML document

struct Platform {
    SystemApi* system = nullptr;
    ServiceApi* services = nullptr;
    ShellApi* shell = nullptr;
    FileApi* files = nullptr;
    VersionApi* version = nullptr;
    TimeApi* time = nullptr;
    RegistryApi* registry = nullptr;
    ComApi* com = nullptr;

    SystemApi& System() const { return Require(system); }
    ServiceApi& Services() const { return Require(services); }
    ShellApi& Shell() const { return Require(shell); }
    FileApi& Files() const { return Require(files); }
    VersionApi& Version() const { return Require(version); }
    TimeApi& Time() const { return Require(time); }
    RegistryApi& Registry() const { return Require(registry); }
    ComApi& Com() const { return Require(com); }

  private:
    template <typename T>
    static T& Require(T* api) {
        assert(api != nullptr &&
               "the code under test needs a platform interface the test did not provide");
        return *api;
    }
};

}  // namespace hf
