// The what-if layer: each change it is asked for is answered as Windows answers it, later calls
// see the machine as that change would have left it, and the machine beneath is left as it was.

#include "platform/WhatIf.h"

#include "platform/System.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/fakes/FakeShell.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

struct Machine {
    fake::FakeSystem system;
    fake::FakeFileSystem files{system};
    fake::FakeRegistry registry;
    fake::FakeServices services{system};
    fake::FakeShell shell{system};
    Platform inner{.system = &system,
                   .services = &services,
                   .shell = &shell,
                   .files = &files,
                   .registry = &registry};
    WhatIfPlatform whatIf{inner};
    const Platform& platform = whatIf.Get();
};

TEST(WhatIf, FilesAnswerAsTheChangeWouldHaveLeftThem) {
    Machine m;
    m.files.AddFile(L"C:\\u\\gone.dll");
    m.files.AddFile(L"C:\\u\\moved.dll");
    m.files.AddFile(L"C:\\u\\ro.dll").attributes = 0x21;
    m.files.AddFile(L"C:\\u\\loaded.dll").loaded = true;
    FileApi& files = m.platform.Files();
    const FileHandle folder = files.CreateFileW(L"C:\\u", kFileTraverse, kFileShareAll,
                                                kOpenExisting, kFileFlagBackupSemantics);
    auto open = [&](const wchar_t* name) {
        return files.NtOpenFile(folder, name, kDeleteAccess | kFileWriteAttributes, kFileShareAll,
                                0);
    };
    auto gone = [&](const wchar_t* name) {
        const FileHandle file = open(name);
        const bool absent = file == kInvalidFileHandle && m.system.lastError == 2;
        if (file != kInvalidFileHandle) {
            files.CloseHandle(file);
        }
        return absent;
    };

    FileHandle file = open(L"gone.dll");
    EXPECT_TRUE(files.SetFileDispositionInfo(file, true));
    files.CloseHandle(file);
    EXPECT_TRUE(gone(L"gone.dll")) << "deleted: absent to later opens";

    file = open(L"moved.dll");
    EXPECT_TRUE(files.SetFileRenameInfo(file, L"C:\\u\\moved.dll.00aa"));
    std::wstring finalPath;
    EXPECT_TRUE(files.GetFinalPathNameByHandleW(file, 0, finalPath));
    EXPECT_EQ(L"\\\\?\\C:\\u\\moved.dll.00aa", finalPath);
    files.CloseHandle(file);
    EXPECT_TRUE(gone(L"moved.dll")) << "renamed away";
    EXPECT_FALSE(gone(L"moved.dll.00aa")) << "found under its new name";

    file = open(L"ro.dll");
    EXPECT_FALSE(files.SetFileDispositionInfo(file, true));
    EXPECT_EQ(5u, m.system.lastError) << "read-only, as Windows refuses it";
    EXPECT_TRUE(files.SetFileBasicInfo(file, 0x20));
    FileHandleInformation info;
    EXPECT_TRUE(files.GetFileInformationByHandle(file, info));
    EXPECT_EQ(0x20u, info.dwFileAttributes);
    EXPECT_TRUE(files.SetFileDispositionInfo(file, true));
    files.CloseHandle(file);

    file = open(L"loaded.dll");
    EXPECT_FALSE(files.SetFileDispositionInfo(file, true));
    EXPECT_EQ(5u, m.system.lastError) << "a library in use, as Windows refuses it";
    files.CloseHandle(file);
    EXPECT_TRUE(files.MoveFileExW(L"C:\\u\\loaded.dll", nullptr, kMoveFileDelayUntilReboot));
    files.CloseHandle(folder);

    // Beneath, nothing changed.
    for (const wchar_t* name : {L"gone.dll", L"moved.dll", L"ro.dll", L"loaded.dll"}) {
        EXPECT_TRUE(m.files.ExistsStored(std::wstring(L"C:\\u\\") + name)) << name;
    }
    EXPECT_EQ(0x21u, m.files.Find(L"C:\\u\\ro.dll")->attributes);
    EXPECT_TRUE(m.files.deletions.empty());
    EXPECT_TRUE(m.files.pendingAtRestart.empty());
    EXPECT_EQ(0u, m.files.OpenFileHandles());
}

TEST(WhatIf, RegistryKeysAndValuesGoneFromLaterCalls) {
    Machine m;
    const std::wstring k = L"SYSTEM\\CurrentControlSet\\Services\\";
    m.registry.SetString(k + L"a", L"ImagePath", L"x");
    m.registry.SetString(k + L"b", L"ImagePath", L"x");
    m.registry.SetString(k + L"b", L"Other", L"y");
    m.registry.AddKey(k + L"c\\sub");
    RegistryApi& registry = m.platform.Registry();
    HKey services = 0, a = 0, b = 0, c = 0, again = 0;
    ASSERT_EQ(0, registry.RegOpenKeyExW(kHKeyLocalMachine, k, 0, reg::kKeyRead, services));
    ASSERT_EQ(0, registry.RegOpenKeyExW(services, L"a", 0, reg::kKeyRead | reg::kDelete, a));
    EXPECT_EQ(0, registry.NtDeleteKey(a));
    EXPECT_EQ(reg::kErrorFileNotFound,
              registry.RegOpenKeyExW(kHKeyLocalMachine, k + L"a", 0, reg::kKeyRead, again));
    RegKeyInfo info;
    EXPECT_EQ(0, registry.RegQueryInfoKeyW(services, info));
    EXPECT_EQ(2u, info.subKeys);
    std::wstring name;
    EXPECT_EQ(0, registry.RegEnumKeyExW(services, 0, 16, name));
    EXPECT_EQ(L"b", name) << "the indices close up";
    EXPECT_EQ(reg::kErrorNoMoreItems, registry.RegEnumKeyExW(services, 2, 16, name));
    ASSERT_EQ(0, registry.RegOpenKeyExW(services, L"c", 0, reg::kKeyRead | reg::kDelete, c));
    EXPECT_EQ(reg::kErrorAccessDenied, registry.NtDeleteKey(c)) << "a key with a subkey";
    ASSERT_EQ(0, registry.RegOpenKeyExW(services, L"b", 0, reg::kKeyRead, b));
    EXPECT_EQ(0, registry.RegDeleteValueW(b, L"ImagePath"));
    std::uint32_t size = 0;
    EXPECT_EQ(reg::kErrorFileNotFound,
              registry.RegQueryValueExW(b, L"ImagePath", nullptr, nullptr, &size));
    EXPECT_EQ(0, registry.RegEnumValueW(b, 0, 16, name));
    EXPECT_EQ(L"Other", name);
    for (HKey key : {services, a, b, c}) {
        registry.RegCloseKey(key);
    }
    EXPECT_TRUE(m.registry.KeyExists(k + L"a"));
    EXPECT_EQ(2u, m.registry.ValueNames(k + L"b").size());
    EXPECT_EQ(0, m.registry.OpenHandles());
}

TEST(WhatIf, ServicesStopAndGoAsTheManagerWouldHaveThem) {
    Machine m;
    m.services.Add(L"Guard");
    m.services.Add(L"Driver").controlsAccepted = 0;
    ServiceApi& services = m.platform.Services();
    const ScHandle manager = services.OpenSCManagerW(nullptr, nullptr, svc::kScManagerConnect);
    const std::uint32_t access =
        svc::kDelete | svc::kServiceStop | svc::kServiceQueryStatus | svc::kServiceChangeConfig;
    ScHandle guard = services.OpenServiceW(manager, L"guard", access);
    ServiceStatus status;
    EXPECT_TRUE(services.ControlService(guard, svc::kControlStop, status));
    EXPECT_EQ(svc::kStopped, status.dwCurrentState);
    EXPECT_TRUE(services.QueryServiceStatus(guard, status));
    EXPECT_EQ(svc::kStopped, status.dwCurrentState);
    EXPECT_FALSE(services.ControlService(guard, svc::kControlStop, status));
    EXPECT_EQ(1062u, m.system.lastError) << "not active";
    EXPECT_TRUE(services.DeleteService(guard));
    EXPECT_FALSE(services.DeleteService(guard));
    EXPECT_EQ(1072u, m.system.lastError) << "marked for deletion";
    EXPECT_FALSE(services.ChangeServiceConfigW(guard, svc::kDisabled));
    services.CloseServiceHandle(guard);
    EXPECT_EQ(0u, services.OpenServiceW(manager, L"Guard", access));
    EXPECT_EQ(1060u, m.system.lastError) << "stopped, marked and closed: gone";

    const ScHandle driver = services.OpenServiceW(manager, L"Driver", access);
    EXPECT_FALSE(services.ControlService(driver, svc::kControlStop, status));
    EXPECT_EQ(1052u, m.system.lastError) << "the stop control not accepted";
    services.CloseServiceHandle(driver);
    services.CloseServiceHandle(manager);
    EXPECT_FALSE(m.platform.Shell().CreateProcessW(L"C:\\w\\shutdown.exe", L"x", L"C:\\w", 0));

    EXPECT_EQ(svc::kRunning, m.services.Find(L"Guard")->state);
    EXPECT_FALSE(m.services.Find(L"Guard")->markedForDeletion);
    EXPECT_TRUE(m.services.CallsOf(fake::ServiceFn::ControlService).empty());
    EXPECT_TRUE(m.services.CallsOf(fake::ServiceFn::DeleteService).empty());
    EXPECT_TRUE(m.shell.calls.empty());
}

}  // namespace
}  // namespace hf
