#include "services/DriverSweep.h"

#include "platform/Errors.h"
#include "platform/Services.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/fakes/FakeShell.h"
#include "tests/fakes/FakeSystem.h"
#include "tests/fakes/FakeVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hf {
namespace {

using fake::FakeRegistry;
using fake::FakeServices;
using fake::FakeVersionResource;
using fake::ServiceFn;
using Names = std::vector<std::wstring>;

// The native drivers folder as stored; the 32-bit tool on 64-bit Windows reaches it through
// Sysnative.
const std::wstring kDrivers = L"C:\\Windows\\System32\\drivers\\";
const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services";

FakeVersionResource Original(const std::wstring& name, std::uint16_t language = 0x0409) {
    FakeVersionResource resource;
    wchar_t translation[9];
    std::swprintf(translation, 9, L"%.4X04B0", static_cast<unsigned>(language));
    resource.AddTranslation(language, 0x04B0).SetString(translation, L"OriginalFileName", name);
    return resource;
}

Names Listed(const TStringList& list) {
    return {list.begin(), list.end()};
}

// Logs the service calls that change a service, by the name it was opened with, into the log
// the registry fake writes too, so one sequence shows the order across both.
class OrderedServices final : public ServiceApi {
  public:
    OrderedServices(FakeServices& inner, std::vector<std::wstring>& log)
        : inner_(inner), log_(log) {}

    ScHandle OpenSCManagerW(const wchar_t* machine, const wchar_t* database,
                            std::uint32_t access) override {
        return inner_.OpenSCManagerW(machine, database, access);
    }
    ScHandle OpenServiceW(ScHandle manager, const std::wstring& name,
                          std::uint32_t access) override {
        const ScHandle handle = inner_.OpenServiceW(manager, name, access);
        names_[handle] = name;
        return handle;
    }
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) override {
        log_.push_back(L"ControlService(" + names_[service] + L", " + std::to_wstring(control) +
                       L")");
        return inner_.ControlService(service, control, status);
    }
    bool QueryServiceStatus(ScHandle service, ServiceStatus& status) override {
        return inner_.QueryServiceStatus(service, status);
    }
    bool DeleteService(ScHandle service) override {
        log_.push_back(L"DeleteService(" + names_[service] + L")");
        return inner_.DeleteService(service);
    }
    bool ChangeServiceConfigW(ScHandle service, std::uint32_t startType) override {
        log_.push_back(L"ChangeServiceConfigW(" + names_[service] + L", " +
                       std::to_wstring(startType) + L")");
        return inner_.ChangeServiceConfigW(service, startType);
    }
    bool CloseServiceHandle(ScHandle handle) override { return inner_.CloseServiceHandle(handle); }

  private:
    FakeServices& inner_;
    std::vector<std::wstring>& log_;
    std::map<ScHandle, std::wstring> names_;
};

class DriverSweepTest : public ::testing::Test {
  protected:
    DriverSweepTest() {
        registry.sharedLog = &log;
        // Every key grants KEY_READ and DELETE only: the sweep needs no more.
        registry.deniedAccess = ~(0x20019u | 0x10000u);
        platform.system = &system;
        platform.files = &files;
        platform.version = &version;
        platform.registry = &registry;
        platform.services = &ordered;
        platform.shell = &shell;
        files.wow64 = true;
        files.AddDirectory(kDrivers);
    }

    // A service the sweep may meet: its key with `imagePath` (REG_EXPAND_SZ, as the manager
    // writes it) and a stopped kernel driver entry in the manager.
    // A running one accepts the stop control (a stopped one that is marked for deletion is
    // removed by the manager as soon as its last handle closes, before any stop is sent).
    void AddService(const std::wstring& name, const std::wstring& imagePath,
                    std::uint32_t type = reg::kTypeExpandSz, bool running = false) {
        registry.SetString(kServices + L"\\" + name, L"ImagePath", imagePath, type);
        registry.SetDword(kServices + L"\\" + name, L"Type", 1);
        fake::FakeService& service = services.Add(name, running ? svc::kRunning : svc::kStopped);
        service.serviceType = svc::kKernelDriver;
        service.startType = svc::kDemandStart;
        service.controlsAccepted = running ? svc::kAcceptStop : 0;
    }

    // The key deletions and the service calls of the shared log, in order.
    Names Removals() const {
        Names found;
        for (const auto& entry : log) {
            if (!entry.starts_with(L"Reg")) {
                found.push_back(entry);
            }
        }
        return found;
    }

    // The names the manager was asked to open, in order.
    Names OpenedServices() const {
        Names found;
        for (const auto& call : services.CallsOf(ServiceFn::OpenServiceW)) {
            found.push_back(call.name);
        }
        return found;
    }

    void ExpectEverythingReleased() const {
        EXPECT_EQ(files.OpenFindHandles(), 0u);
        EXPECT_EQ(registry.OpenHandles(), 0);
        EXPECT_EQ(services.OpenHandles(), 0u);
        EXPECT_TRUE(shell.calls.empty()) << "a process was started";
    }

    fake::FakeSystem system;
    fake::FakeFileSystem files{system};
    fake::FakeVersion version{system, files};
    FakeRegistry registry;
    FakeServices services{system};
    std::vector<std::wstring> log;
    OrderedServices ordered{services, log};
    fake::FakeShell shell;
    Platform platform;
    StopWaitBudget runBudget;  // each test is one run: its stops share one budget
};

TEST_F(DriverSweepTest, SearchesTheNativeDriversFolderBuiltFromTheWindowsFolder) {
    struct Case {
        std::wstring windows;
        std::optional<std::uint32_t> failure;
        std::wstring pattern;
        bool wow64 = true;
    };
    const Case cases[] = {
        {L"C:\\Windows", {}, L"C:\\Windows\\Sysnative\\drivers\\*.sys"},
        {L"D:\\WINNT", {}, L"D:\\WINNT\\Sysnative\\drivers\\*.sys"},
        // Taken as the system gives it: no separator removed.
        {L"C:\\", {}, L"C:\\\\Sysnative\\drivers\\*.sys"},
        // Unknown: a folder at the root of the current drive.
        {L"C:\\Windows", 5u, L"\\Sysnative\\drivers\\*.sys"},
        // 32-bit Windows has no Sysnative: its System32 is the native folder.
        {L"C:\\Windows", {}, L"C:\\Windows\\System32\\drivers\\*.sys", false},
    };
    for (const Case& c : cases) {
        files.searchPatterns.clear();
        files.wow64 = c.wow64;
        files.windowsFolder = c.windows;
        files.windowsFolderFailure = c.failure;
        EXPECT_EQ(FindDriversByOriginalName(platform, L"hfFilter.sys").Count(), 0);
        EXPECT_EQ(files.searchPatterns, Names{c.pattern}) << "Windows folder " << c.windows.size();
    }
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, FindsFilesByTheirOriginalNameWhateverTheyAreCalled) {
    files.AddFile(kDrivers + L"aaa.sys", Original(L"hfFilter.sys"));
    files.AddFile(kDrivers + L"bad.sys", Original(L"hfFilter.sys"));
    files.FailPath(L"C:\\Windows\\Sysnative\\drivers\\bad.sys", 5);    // unreadable
    files.AddFile(kDrivers + L"caps.sys", Original(L"HFFILTER.SYS"));  // other case: not it
    files.AddDirectory(kDrivers + L"dir.sys");                         // never examined
    files.AddFile(kDrivers + L"hfFilter.sys", Original(L"something.sys"));
    files.AddFile(kDrivers + L"korean.sys", Original(L"hfFilter.sys", 0x0412));
    files.AddFile(kDrivers + L"nores.sys");  // no version resource
    fake::FakeFile& hidden = files.AddFile(kDrivers + L"zz hidden.sys", Original(L"hfFilter.sys"));
    hidden.attributes = 0x1 | 0x2 | 0x4;                                // read-only, hidden, system
    files.AddFile(kDrivers + L"other.dll", Original(L"hfFilter.sys"));  // not *.sys

    const TStringList found = FindDriversByOriginalName(platform, L"hfFilter.sys");
    EXPECT_EQ(Listed(found), (Names{L"aaa.sys", L"korean.sys", L"zz hidden.sys"}));
    // Every admitted file was read once; the directory and the .dll were not.
    EXPECT_EQ(version.sizeCalls, 7);
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, NoDriverFoundTouchesNoRegistryOrService) {
    AddService(L"Svc", L"system32\\drivers\\caps.sys");
    files.AddFile(kDrivers + L"caps.sys", Original(L"HFFILTER.SYS"));
    RemoveDriverServices(platform, runBudget);
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_TRUE(services.calls.empty());

    // No Sysnative alias at all (32-bit Windows).
    files.FailPath(L"C:\\Windows\\Sysnative\\drivers", fake::kErrorPathNotFound);
    RemoveDriverServices(platform, runBudget);
    EXPECT_TRUE(registry.calls.empty());
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, MatchesImagePathOnlyAsSystem32DriversPlusTheFileName) {
    files.AddFile(kDrivers + L"HfCore1.sys", Original(L"hfFilter.sys"));
    files.AddFile(kDrivers + L"drv\u00e9.sys", Original(L"hfFilter.sys"));
    files.AddFile(kDrivers + L"caps.sys", Original(L"HFFILTER.SYS"));
    struct Case {
        std::wstring name;
        std::wstring imagePath;  // empty: no ImagePath value
        std::uint32_t type;
        bool removed;
    };
    const Case cases[] = {
        {L"Exact", L"system32\\drivers\\HfCore1.sys", reg::kTypeExpandSz, true},
        {L"OtherCase", L"System32\\DRIVERS\\hfcore1.SYS", reg::kTypeExpandSz, true},
        {L"PlainString", L"system32\\drivers\\HfCore1.sys", reg::kTypeSz, true},
        {L"Accented", L"SYSTEM32\\DRIVERS\\DRV\u00e9.SYS", reg::kTypeExpandSz, true},
        {L"AccentInOtherCase", L"system32\\drivers\\drv\u00c9.sys", reg::kTypeExpandSz, false},
        {L"SystemRoot", L"\\SystemRoot\\system32\\drivers\\HfCore1.sys", reg::kTypeExpandSz, false},
        {L"EnvPrefix", L"%SystemRoot%\\system32\\drivers\\HfCore1.sys", reg::kTypeExpandSz, false},
        {L"DriveLetter", L"C:\\Windows\\system32\\drivers\\HfCore1.sys", reg::kTypeExpandSz, false},
        {L"TrailingBlank", L"system32\\drivers\\HfCore1.sys ", reg::kTypeExpandSz, false},
        {L"Argument", L"system32\\drivers\\HfCore1.sys -x", reg::kTypeExpandSz, false},
        {L"NotTheDriver", L"system32\\drivers\\caps.sys", reg::kTypeExpandSz, false},
        {L"Binary", L"system32\\drivers\\HfCore1.sys", reg::kTypeBinary, false},
        {L"MultiString", L"system32\\drivers\\HfCore1.sys", reg::kTypeMultiSz, false},
        {L"NoImagePath", L"", reg::kTypeSz, false},
    };
    for (const Case& c : cases) {
        if (c.imagePath.empty()) {
            registry.SetDword(kServices + L"\\" + c.name, L"Start", 3);
            services.Add(c.name, svc::kStopped);
        } else {
            AddService(c.name, c.imagePath, c.type);
        }
    }
    // A matching key that cannot be read (KEY_QUERY_VALUE refused) is never taken for a match.
    AddService(L"Locked", L"system32\\drivers\\HfCore1.sys");
    registry.FindKey(kServices + L"\\Locked")->deniedAccess = 0x0001;

    RemoveDriverServices(platform, runBudget);
    Names removed;
    for (const Case& c : cases) {
        EXPECT_EQ(!registry.KeyExists(kServices + L"\\" + c.name), c.removed)
            << testing::PrintToString(c.imagePath) << " (type " << c.type << ")";
        if (c.removed) {
            removed.push_back(c.name);
        }
    }
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\Locked"));
    // Each removed service is opened three times: disable, delete, stop; no other is opened.
    Names expected;
    for (const auto& name : {L"Accented", L"Exact", L"OtherCase", L"PlainString"}) {
        expected.insert(expected.end(), {name, name, name});
    }
    EXPECT_EQ(OpenedServices(), expected);
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, RemovesEachMatchInListOrderAndStopsItRightAfter) {
    files.AddFile(kDrivers + L"x.sys", Original(L"hfFilter.sys"));
    AddService(L"SvcA", L"system32\\drivers\\x.sys", reg::kTypeExpandSz, true);
    registry.AddKey(kServices + L"\\SvcA\\Enum");
    AddService(L"Mid", L"system32\\drivers\\y.sys", reg::kTypeExpandSz, true);
    AddService(L"SvcB", L"system32\\drivers\\X.SYS", reg::kTypeExpandSz, true);
    RemoveDriverServices(platform, runBudget);
    const std::wstring k = L"NtDeleteKey(HKLM\\" + kServices + L"\\";
    EXPECT_EQ(Removals(), (Names{
                              k + L"SvcA\\Enum) = 0",
                              k + L"SvcA) = 0",
                              L"ChangeServiceConfigW(SvcA, 4)",
                              L"DeleteService(SvcA)",
                              L"ControlService(SvcA, 1)",
                              k + L"SvcB) = 0",
                              L"ChangeServiceConfigW(SvcB, 4)",
                              L"DeleteService(SvcB)",
                              L"ControlService(SvcB, 1)",
                          }));
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\Mid"));
    ExpectEverythingReleased();
}

// A link key inside a matched service's tree is deleted itself; a link key in the Services list
// is no service, even when it leads to one that matches.
TEST_F(DriverSweepTest, LinksAreNeverFollowed) {
    files.AddFile(kDrivers + L"x.sys", Original(L"hfFilter.sys"));
    AddService(L"SvcA", L"system32\\drivers\\x.sys", reg::kTypeExpandSz, true);
    registry.AddLink(kServices + L"\\SvcA\\Enum", L"SOFTWARE\\Victim");
    registry.AddLink(kServices + L"\\LinkToA", kServices + L"\\SvcA");
    registry.AddKey(L"SOFTWARE\\Victim\\Child");
    RemoveDriverServices(platform, runBudget);
    EXPECT_EQ(registry.CallsTo(L"NtDeleteKey"),
              (Names{L"NtDeleteKey(HKLM\\" + kServices + L"\\SvcA\\Enum) = 0",
                     L"NtDeleteKey(HKLM\\" + kServices + L"\\SvcA) = 0"}));
    EXPECT_FALSE(registry.KeyExists(kServices + L"\\SvcA"));
    EXPECT_TRUE(registry.KeyExists(L"SOFTWARE\\Victim\\Child"));
    EXPECT_EQ(OpenedServices(), Names(3, L"SvcA")) << "the link's name went to the manager";
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, ListsTheServicesKeyAfreshForTheSecondFile) {
    files.AddFile(kDrivers + L"first.sys", Original(L"hfFilter.sys"));
    files.AddFile(kDrivers + L"second.sys", Original(L"hfFilter.sys"));
    AddService(L"One", L"system32\\drivers\\first.sys");
    AddService(L"Two", L"system32\\drivers\\second.sys");
    AddService(L"Zed", L"system32\\drivers\\second.sys");
    // Appears while the first file's pass runs: only a fresh listing can find it.
    registry.before = [this](std::wstring_view function, std::wstring_view path) {
        if (function == L"NtDeleteKey" && path.ends_with(L"\\One")) {
            AddService(L"Late", L"system32\\drivers\\second.sys");
        }
    };
    RemoveDriverServices(platform, runBudget);
    for (const auto& name : {L"One", L"Two", L"Zed", L"Late"}) {
        EXPECT_FALSE(registry.KeyExists(kServices + L"\\" + name)) << name;
    }
    const std::wstring openServices = L"RegOpenKeyExW(HKLM\\" + kServices + L"\\) = 0";
    EXPECT_EQ(std::count(registry.calls.begin(), registry.calls.end(), openServices), 2);
    // The second pass lists only what the first one left: "One" is not met again.
    const auto secondPass =
        std::find(std::find(registry.calls.begin(), registry.calls.end(), openServices) + 1,
                  registry.calls.end(), openServices);
    ASSERT_NE(secondPass, registry.calls.end());
    for (auto call = secondPass; call != registry.calls.end(); ++call) {
        EXPECT_EQ(call->find(L"Services\\One"), std::wstring::npos) << *call;
    }
    EXPECT_EQ(OpenedServices(), (Names{L"One", L"One", L"One", L"Late", L"Late", L"Late", L"Two",
                                       L"Two", L"Two", L"Zed", L"Zed", L"Zed"}));
    ExpectEverythingReleased();
}

// The tree deletion's result is not examined: a service key whose tree cannot be listed keeps
// what could not be listed, and the service is disabled, marked and stopped all the same. A
// service key the Services listing cannot give is never examined.
TEST_F(DriverSweepTest, AKeyTreeFailingPartWayIsLeftAndTheSweepGoesOn) {
    files.AddFile(kDrivers + L"x.sys", Original(L"hfFilter.sys"));
    AddService(L"SvcA", L"system32\\drivers\\x.sys", reg::kTypeExpandSz, true);
    registry.AddKey(kServices + L"\\SvcA\\Enum\\Root");
    registry.FindKey(kServices + L"\\SvcA\\Enum")->failQueryInfo = reg::kErrorAccessDenied;
    AddService(L"SvcB", L"system32\\drivers\\x.sys", reg::kTypeExpandSz, true);
    registry.AddKey(kServices + L"\\SvcB\\Enum");
    registry.AddKey(kServices + L"\\SvcB\\Security");
    registry.FindKey(kServices + L"\\SvcB")->failEnumKeyAt[1] = reg::kErrorAccessDenied;
    AddService(L"Unlisted", L"system32\\drivers\\x.sys", reg::kTypeExpandSz, true);
    registry.FindKey(kServices)->failEnumKeyAt[2] = reg::kErrorAccessDenied;

    EXPECT_NO_THROW(RemoveDriverServices(platform, runBudget));

    const std::wstring k = L"NtDeleteKey(HKLM\\" + kServices + L"\\";
    EXPECT_EQ(Removals(), (Names{
                              k + L"SvcA\\Enum) = 5",
                              k + L"SvcA) = 5",
                              L"ChangeServiceConfigW(SvcA, 4)",
                              L"DeleteService(SvcA)",
                              L"ControlService(SvcA, 1)",
                              k + L"SvcB\\Enum) = 0",
                              k + L"SvcB) = 5",
                              L"ChangeServiceConfigW(SvcB, 4)",
                              L"DeleteService(SvcB)",
                              L"ControlService(SvcB, 1)",
                          }));
    EXPECT_EQ(registry.SubKeyNames(kServices + L"\\SvcA\\Enum"), Names{L"Root"});
    EXPECT_EQ(registry.SubKeyNames(kServices + L"\\SvcB"), Names{L"Security"});
    EXPECT_EQ(registry.ValueNames(kServices + L"\\SvcB").size(), 2u)
        << "the key stays with its values";
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\Unlisted"));
    EXPECT_EQ(services.Find(L"Unlisted")->state, svc::kRunning);
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, AnUnreadableImagePathEndsTheSweepAndKeepsWhatWasDone) {
    files.AddFile(kDrivers + L"a.sys", Original(L"hfFilter.sys"));
    files.AddFile(kDrivers + L"b.sys", Original(L"hfFilter.sys"));
    AddService(L"Done", L"system32\\drivers\\a.sys");
    AddService(L"Fails", L"system32\\drivers\\a.sys");
    registry.FindKey(kServices + L"\\Fails")->failDataRead[L"ImagePath"] = reg::kErrorMoreData;
    AddService(L"Later", L"system32\\drivers\\a.sys");
    AddService(L"SecondFile", L"system32\\drivers\\b.sys");
    try {
        RemoveDriverServices(platform, runBudget);
        FAIL() << "expected ERegistryException";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), L"Failed to get data for 'ImagePath'");
    }
    EXPECT_FALSE(registry.KeyExists(kServices + L"\\Done"));
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\Fails"));
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\Later"));
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\SecondFile"));
    EXPECT_EQ(OpenedServices(), (Names{L"Done", L"Done", L"Done"}));
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, AStopThatRaisesEndsTheSweepAfterTheEarlierSteps) {
    files.AddFile(kDrivers + L"a.sys", Original(L"hfFilter.sys"));
    files.AddFile(kDrivers + L"b.sys", Original(L"hfFilter.sys"));
    AddService(L"Guarded", L"system32\\drivers\\a.sys", reg::kTypeExpandSz, true);
    services.Find(L"Guarded")->deniedAccess = svc::kServiceStop;  // the stop's open is refused
    AddService(L"Next", L"system32\\drivers\\a.sys");
    AddService(L"SecondFile", L"system32\\drivers\\b.sys");
    try {
        RemoveDriverServices(platform, runBudget);
        FAIL() << "expected EOSError";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code(), 5u);
    }
    EXPECT_FALSE(registry.KeyExists(kServices + L"\\Guarded"));
    EXPECT_EQ(Removals(), (Names{
                              L"NtDeleteKey(HKLM\\" + kServices + L"\\Guarded) = 0",
                              L"ChangeServiceConfigW(Guarded, 4)",
                              L"DeleteService(Guarded)",
                          }));
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\Next"));
    EXPECT_TRUE(registry.KeyExists(kServices + L"\\SecondFile"));
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, AServicesKeyThatCannotBeReadSkipsEachFileQuietly) {
    files.AddFile(kDrivers + L"a.sys", Original(L"hfFilter.sys"));
    files.AddFile(kDrivers + L"b.sys", Original(L"hfFilter.sys"));
    AddService(L"Svc", L"system32\\drivers\\a.sys");
    registry.FindKey(kServices)->deniedAccess = 0x0008;  // KEY_ENUMERATE_SUB_KEYS
    EXPECT_NO_THROW(RemoveDriverServices(platform, runBudget));
    EXPECT_EQ(registry.calls, (Names(2, L"RegOpenKeyExW(HKLM\\" + kServices + L"\\) = 5")));
    EXPECT_TRUE(services.calls.empty());
    ExpectEverythingReleased();
}

TEST_F(DriverSweepTest, AServiceNameWithShellCharactersGoesOnlyToTheServiceManager) {
    files.AddFile(kDrivers + L"a.sys", Original(L"hfFilter.sys"));
    const std::wstring crafted = L"x\" & calc.exe & \"|more";
    AddService(crafted, L"system32\\drivers\\a.sys", reg::kTypeExpandSz, true);
    RemoveDriverServices(platform, runBudget);
    EXPECT_FALSE(registry.KeyExists(kServices + L"\\" + crafted));
    EXPECT_EQ(Removals(), (Names{
                              L"NtDeleteKey(HKLM\\" + kServices + L"\\" + crafted + L") = 0",
                              L"ChangeServiceConfigW(" + crafted + L", 4)",
                              L"DeleteService(" + crafted + L")",
                              L"ControlService(" + crafted + L", 1)",
                          }));
    ExpectEverythingReleased();
}

}  // namespace
}  // namespace hf
