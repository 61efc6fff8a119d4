// The driver service sweep against the real file system, version resources, registry and
// service manager: fixture PEs copied into <Windows>\Sysnative\drivers under other names, and
// kernel-driver service entries created through the manager (never started). One fixture is an
// x86-64 image, as real drivers are: the i686 build reads it from its 32-bit process.

#include "inspect/WindowsFolder.h"
#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/FilesWin32.h"
#include "platform/win32/RegistryWin32.h"
#include "platform/win32/ServicesWin32.h"
#include "platform/win32/SystemWin32.h"
#include "platform/win32/VersionWin32.h"
#include "services/DriverSweep.h"
#include "services/Registry.h"
#include "services/ServiceControl.h"
#include "tests/wine/common/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace hf {
namespace {

constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";

// What the sweep must find, and what it must pass over, in the drivers folder.
struct DriverFile {
    const wchar_t* fixture;  // null: a directory
    const wchar_t* onDisk;
};
const DriverFile kDriverFiles[] = {
    {L"hf_driver_FilterEnglish.dll", L"hfcore1.sys"},
    {L"hf_driver_FilterEnglish64.dll", L"hfcore64.sys"},  // an x86-64 image
    {L"hf_driver_FilterKorean.dll", L"netflt\u00e9.sys"},
    {L"hf_driver_FilterUpper.dll", L"upper.sys"},      // "HFFILTER.SYS": another name
    {L"hf_driver_Plain.dll", L"nores.sys"},            // no version resource
    {L"hf_driver_FilterEnglish.dll", L"hfother.dll"},  // not *.sys
    {nullptr, L"hfdir.sys"},                           // a directory
};

struct ServiceCase {
    const wchar_t* name;
    const wchar_t* imagePath;
    bool removed;
};
const ServiceCase kServiceCases[] = {
    {L"hfTestExact", L"system32\\drivers\\hfcore1.sys", true},
    {L"hfTestOtherCase", L"System32\\DRIVERS\\HFCORE1.SYS", true},
    {L"hfTest64Bit", L"system32\\drivers\\hfcore64.sys", true},
    {L"hfTestAccented", L"SYSTEM32\\drivers\\NETFLT\u00e9.SYS", true},
    {L"hfTest\" & echo owned > owned.txt & \"|more", L"system32\\drivers\\hfcore1.sys", true},
    {L"hfTestNearAccent", L"system32\\drivers\\netflt\u00c9.sys", false},
    {L"hfTestNearSystemRoot", L"\\SystemRoot\\system32\\drivers\\hfcore1.sys", false},
    {L"hfTestNearEnv", L"%SystemRoot%\\system32\\drivers\\hfcore1.sys", false},
    {L"hfTestNearDrive", L"C:\\windows\\system32\\drivers\\hfcore1.sys", false},
    {L"hfTestNearBlank", L"system32\\drivers\\hfcore1.sys ", false},
    {L"hfTestNearArgument", L"system32\\drivers\\hfcore1.sys -x", false},
    {L"hfTestNearUpper", L"system32\\drivers\\upper.sys", false},
    {L"hfTestNearNoResource", L"system32\\drivers\\nores.sys", false},
    {L"hfTestNearDirectory", L"system32\\drivers\\hfdir.sys", false},
    {L"hfTestNearDll", L"system32\\drivers\\hfother.dll", false},
};

class DriverSweepWine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(manager) << "OpenSCManagerW: " << ::GetLastError();
        // The native drivers folder: through Sysnative under WoW64; System32 elsewhere (32-bit
        // Windows has no Sysnative).
        drivers = GetWindowsFolder(platform) +
                  (wine::UnderWow64() ? L"\\Sysnative\\drivers\\" : L"\\System32\\drivers\\");
        for (const DriverFile& file : kDriverFiles) {
            const std::wstring target = drivers + file.onDisk;
            if (file.fixture == nullptr) {
                ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr)) << ::GetLastError();
            } else {
                ASSERT_TRUE(
                    ::CopyFileW((wine::ExeDir() + file.fixture).c_str(), target.c_str(), FALSE))
                    << "copying " << testing::PrintToString(std::wstring(file.fixture)) << ": "
                    << ::GetLastError();
            }
        }
    }

    void TearDown() override {
        for (const DriverFile& file : kDriverFiles) {
            const std::wstring target = drivers + file.onDisk;
            file.fixture == nullptr ? ::RemoveDirectoryW(target.c_str())
                                    : ::DeleteFileW(target.c_str());
        }
        for (const ServiceCase& c : kServiceCases) {
            UniqueNativeSc service(NativeScTraits{}, ::OpenServiceW(manager.get(), c.name, DELETE));
            if (service) {
                ::DeleteService(service.get());
            }
        }
        for (const wchar_t* key : {L"hfTestKeyNoImage", L"hfTestKeyBinary"}) {
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kServicesKey) + key).c_str());
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kServicesKey) + key).c_str());
        }
    }

    // The names a direct search of the folder returns, in its order, among `wanted`.
    std::vector<std::wstring> SearchOrder(const std::vector<std::wstring>& wanted) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        UniqueFind search(FindTraits{}, ::FindFirstFileW((drivers + L"*.sys").c_str(), &data));
        if (!search) {
            return names;
        }
        do {
            if (std::find(wanted.begin(), wanted.end(), data.cFileName) != wanted.end()) {
                names.emplace_back(data.cFileName);
            }
        } while (::FindNextFileW(search.get(), &data));
        return names;
    }

    // The service's start type as the manager reports it; 0xFFFFFFFF with `error` set when it
    // cannot be opened.
    DWORD StartType(const wchar_t* name, DWORD& error) {
        UniqueNativeSc service(NativeScTraits{},
                               ::OpenServiceW(manager.get(), name, SERVICE_QUERY_CONFIG));
        if (!service) {
            error = ::GetLastError();
            return 0xFFFFFFFF;
        }
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (!::QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()),
                                   &needed)) {
            error = ::GetLastError();
            return 0xFFFFFFFF;
        }
        error = 0;
        return config->dwStartType;
    }

    bool KeyExists(const std::wstring& relative) {
        return TRegistry(platform).OpenKey(std::wstring(L"\\") + kServicesKey + relative, false);
    }

    std::wstring ImagePath(const wchar_t* name) {
        TRegistry cursor(platform);
        if (!cursor.OpenKey(std::wstring(L"\\") + kServicesKey + name, false)) {
            return L"<no key>";
        }
        return cursor.GetDataAsString(L"ImagePath");
    }

    Win32SystemApi system;
    Win32ServiceApi services;
    Win32FileApi files;
    Win32VersionApi version;
    Win32RegistryApi registry;
    Platform platform{.system = &system,
                      .services = &services,
                      .files = &files,
                      .version = &version,
                      .registry = &registry};
    UniqueNativeSc manager{NativeScTraits{},
                           ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    std::wstring drivers;
};

TEST_F(DriverSweepWine, FindsTheDriversByOriginalNameInSearchOrder) {
    const TStringList found = FindDriversByOriginalName(platform, L"hfFilter.sys");
    const std::vector<std::wstring> names(found.begin(), found.end());
    const std::vector<std::wstring> expected = {L"hfcore1.sys", L"hfcore64.sys",
                                                L"netflt\u00e9.sys"};
    std::vector<std::wstring> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, expected);
    EXPECT_EQ(names, SearchOrder(expected));
    // The other letter case of the resource's name finds its own file only.
    const TStringList upper = FindDriversByOriginalName(platform, L"HFFILTER.SYS");
    EXPECT_EQ(std::vector<std::wstring>(upper.begin(), upper.end()),
              std::vector<std::wstring>{L"upper.sys"});
}

// Under WoW64 the 32-bit process's own System32\drivers is SysWOW64's, another folder than
// Sysnative's: a driver file there is not the native one, and the sweep does not list it.
TEST_F(DriverSweepWine, UnderWow64System32AndSysnativeAreTwoFolders) {
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64) || !wow64) {
        GTEST_SKIP() << "a 64-bit process: its System32 is the native folder";
    }
    const std::wstring own = GetWindowsFolder(platform) + L"\\System32\\drivers\\";
    EXPECT_EQ(::GetFileAttributesW((own + L"hfcore1.sys").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(::CopyFileW((wine::ExeDir() + L"hf_driver_FilterEnglish.dll").c_str(),
                            (own + L"hfwow64.sys").c_str(), FALSE))
        << ::GetLastError();
    EXPECT_EQ(::GetFileAttributesW((drivers + L"hfwow64.sys").c_str()), INVALID_FILE_ATTRIBUTES);
    const TStringList found = FindDriversByOriginalName(platform, L"hfFilter.sys");
    ::DeleteFileW((own + L"hfwow64.sys").c_str());
    const std::vector<std::wstring> names(found.begin(), found.end());
    EXPECT_EQ(std::count(names.begin(), names.end(), L"hfwow64.sys"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), L"hfcore64.sys"), 1);
}

TEST_F(DriverSweepWine, RemovesTheMatchingServicesAndLeavesTheNearMisses) {
    // A handle held on each service keeps the manager from removing a marked one, so its
    // start type and deletion mark can be read afterwards.
    std::vector<UniqueNativeSc> held;
    for (const ServiceCase& c : kServiceCases) {
        UniqueNativeSc created(
            NativeScTraits{},
            ::CreateServiceW(manager.get(), c.name, c.name, SERVICE_ALL_ACCESS,
                             SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                             c.imagePath, nullptr, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(created) << "CreateServiceW " << testing::PrintToString(std::wstring(c.name))
                             << ": " << ::GetLastError();
        ASSERT_EQ(ImagePath(c.name), c.imagePath);
        held.push_back(std::move(created));
        // Contents the manager knows nothing of: only the sweep's tree deletion removes them.
        HKEY inner = nullptr;
        ASSERT_EQ(
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                              (std::wstring(kServicesKey) + c.name + L"\\Enum\\Inner").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &inner, nullptr),
            ERROR_SUCCESS);
        const DWORD marker = 1;
        ::RegSetValueExW(inner, L"hfMarker", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&marker),
                         sizeof marker);
        ::RegCloseKey(inner);
    }
    // Keys the manager never wrote: no ImagePath, and a binary one holding a matching text.
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                (std::wstring(kServicesKey) + L"hfTestKeyNoImage").c_str(), 0,
                                nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                (std::wstring(kServicesKey) + L"hfTestKeyBinary").c_str(), 0,
                                nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t binary[] = L"system32\\drivers\\hfcore1.sys";
    ::RegSetValueExW(key, L"ImagePath", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary),
                     sizeof binary);
    ::RegCloseKey(key);

    StopWaitBudget budget;
    EXPECT_NO_THROW(RemoveDriverServices(platform, budget));

    for (std::size_t i = 0; i < std::size(kServiceCases); ++i) {
        const ServiceCase& c = kServiceCases[i];
        const std::string which = testing::PrintToString(std::wstring(c.name));
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        ASSERT_TRUE(::QueryServiceConfigW(held[i].get(), config, static_cast<DWORD>(buffer.size()),
                                          &needed))
            << which << ": " << ::GetLastError();
        const BOOL deleted = ::DeleteService(held[i].get());
        const DWORD error = ::GetLastError();
        if (c.removed) {
            EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DISABLED)) << which;
            EXPECT_FALSE(deleted) << which << " was not marked for deletion";
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE)) << which;
            EXPECT_FALSE(KeyExists(std::wstring(c.name) + L"\\Enum")) << which;
        } else {
            EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START)) << which;
            EXPECT_TRUE(deleted) << which << " was already marked: " << error;
            EXPECT_EQ(ImagePath(c.name), c.imagePath) << which;
            EXPECT_TRUE(KeyExists(std::wstring(c.name) + L"\\Enum\\Inner")) << which;
        }
    }
    // Wine's manager does not see the sweep's key deletion (it reads service keys only at
    // start-up) and writes the key again for the disable and the mark; the key is gone for good
    // once the last handle closes and the manager removes the marked entry with its key.
    held.clear();
    for (const ServiceCase& c : kServiceCases) {
        if (!c.removed) {
            continue;
        }
        const std::string which = testing::PrintToString(std::wstring(c.name));
        DWORD error = 0;
        StartType(c.name, error);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST)) << which;
        EXPECT_EQ(ImagePath(c.name), L"<no key>") << which << ": key left behind";
    }
    EXPECT_EQ(ImagePath(L"hfTestKeyNoImage"), L"");
    EXPECT_EQ(ImagePath(L"hfTestKeyBinary").substr(0, 11), L"73,00,79,00");
}

}  // namespace
}  // namespace hf
