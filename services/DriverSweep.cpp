#include "services/DriverSweep.h"

#include "inspect/VersionInfo.h"
#include "inspect/WindowsFolder.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "services/Registry.h"
#include "services/ServiceControl.h"

#include <exception>

namespace hf {

namespace {

constexpr wchar_t kDriverName[] = L"hfFilter.sys";
constexpr wchar_t kServicesPath[] = L"\\SYSTEM\\CurrentControlSet\\Services\\";
constexpr wchar_t kImageFolder[] = L"system32\\drivers\\";

}  // namespace

TStringList FindDriversByOriginalName(const Platform& platform, const std::wstring& name) {
    TStringList drivers;
    FileApi& files = platform.Files();
    // The native drivers folder: for a 32-bit process on 64-bit Windows through the Sysnative
    // alias; where the process is not one (32-bit Windows, which has no such alias, or a native
    // process), System32 is the native folder. A process that cannot tell takes the alias.
    bool wow64 = false;
    const bool alias = !files.IsWow64Process(wow64) || wow64;
    std::wstring folder =
        GetWindowsFolder(platform) + (alias ? L"\\Sysnative\\drivers" : L"\\System32\\drivers");
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    FindData entry;
    UniqueFindHandle search(FindHandleTraits{&files},
                            files.FindFirstFileW(folder + L"*.sys", entry));
    if (!search) {
        return drivers;
    }
    do {
        if ((entry.dwFileAttributes & kFileAttributeDirectory) != 0) {
            continue;
        }
        // A file without a readable version resource is simply not the driver.
        try {
            if (GetOriginalFileName(platform, folder + entry.cFileName) == name) {
                drivers.Add(entry.cFileName);
            }
        } catch (const std::exception&) {
        }
    } while (files.FindNextFileW(search.get(), entry));
    return drivers;
}

void RemoveDriverServices(const Platform& platform, StopWaitBudget& budget) {
    const TStringList drivers = FindDriversByOriginalName(platform, kDriverName);
    for (const std::wstring& driver : drivers) {
        const std::wstring target = kImageFolder + driver;
        // Both cursors and the list live for this file's pass only; the Services key is listed
        // afresh for each file, after the previous file's removals.
        // Both only read; the matched keys go through handles DeleteKey opens for them.
        TRegistry services(platform, reg::kKeyRead);
        TRegistry reader(platform, reg::kKeyRead);
        if (!services.OpenKey(kServicesPath, false)) {
            continue;
        }
        TStringList names;
        services.GetKeyNames(names);
        for (const std::wstring& name : names) {
            if (!reader.OpenKey(kServicesPath + name, false)) {
                continue;
            }
            if (!SameTextAZ(reader.GetDataAsString(L"ImagePath"), target)) {
                continue;
            }
            services.DeleteKey(name);
            // Through the service manager rather than "sc config" in a command interpreter: a
            // key name carrying & | or " would otherwise run commands with our rights.
            DisableServiceStart(platform, name);
            DeleteServiceByName(platform, name);
            StopService(platform, name, false, budget);
        }
    }
}

}  // namespace hf
