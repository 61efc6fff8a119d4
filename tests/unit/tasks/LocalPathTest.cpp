#include "tasks/LocalPath.h"

#include "platform/Text.h"
#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

TEST(LocalPath, OnlyAbsolutePathsOnLocalFixedDrives) {
    fake::FakeSystem system;
    fake::FakeFileSystem files(system);
    files.driveTypes = {{L'D', kDriveRemovable}, {L'E', kDriveRemote},    {L'F', kDriveCdrom},
                        {L'G', kDriveRamdisk},   {L'H', kDriveNoRootDir}, {L'I', kDriveUnknown}};
    const struct {
        const wchar_t* path;
        bool local;
        const wchar_t* driveAsked;  // the root GetDriveTypeW was asked about; null: no call
    } cases[] = {
        {L"C:\\Users\\u\\ab12cd34.dll", true, L"C:\\"},
        {L"c:/Users/u/ab12cd34.dll", true, L"c:\\"},
        {L"C:\\", true, L"C:\\"},
        {L"Z:\\x\\COM10.dll", true, L"Z:\\"},
        {L"C:\\x\\console.dll", true, L"C:\\"},
        {L"C:\\CON\\x.dll", true, L"C:\\"},
        // Off the machine, devices and pipes: refused from the text.
        {L"\\\\host\\share\\ab12cd34.dll", false, nullptr},
        {L"//host/share/ab12cd34.dll", false, nullptr},
        {L"\\/host\\share\\ab12cd34.dll", false, nullptr},
        {L"\\\\.\\pipe\\ab12cd34.dll", false, nullptr},
        {L"//./pipe/ab12cd34.dll", false, nullptr},
        {L"\\\\?\\C:\\ab12cd34.dll", false, nullptr},
        {L"\\\\?\\UNC\\host\\share\\ab12cd34.dll", false, nullptr},
        {L"\\??\\C:\\ab12cd34.dll", false, nullptr},
        // Relative to the current folder or drive.
        {L"ab12cd34.dll", false, nullptr},
        {L"a\\ab12cd34.dll", false, nullptr},
        {L"spool/drivers/x64/3/hpcpp165.dll", false, nullptr},
        {L"..\\ab12cd34.dll", false, nullptr},
        {L"\\Users\\u\\ab12cd34.dll", false, nullptr},
        {L"/Users/u/ab12cd34.dll", false, nullptr},
        {L"C:ab12cd34.dll", false, nullptr},
        {L"C:", false, nullptr},
        {L"", false, nullptr},
        {L" C:\\ab12cd34.dll", false, nullptr},
        {L"1:\\ab12cd34.dll", false, nullptr},
        {L"\u00C4:\\ab12cd34.dll", false, nullptr},
        // A stream, and the names every folder maps to a device.
        {L"C:\\x\\ab12cd34.dll:payload", false, nullptr},
        {L"C:\\x\\nul", false, nullptr},
        {L"C:\\x\\COM1.dll", false, nullptr},
        {L"C:/x/lpt9.dll", false, nullptr},
        {L"C:\\x\\con .txt", false, nullptr},
        {L"C:\\x\\CONOUT$", false, nullptr},
        {L"C:\\x\\com\u00B9.dll", false, nullptr},
        // Drives that are not local fixed disks.
        {L"D:\\ab12cd34.dll", false, L"D:\\"},
        {L"e:\\ab12cd34.dll", false, L"e:\\"},
        {L"F:/ab12cd34.dll", false, L"F:\\"},
        {L"G:\\ab12cd34.dll", false, L"G:\\"},
        {L"H:\\ab12cd34.dll", false, L"H:\\"},
        {L"I:\\ab12cd34.dll", false, L"I:\\"},
    };
    for (const auto& c : cases) {
        files.calls.clear();
        EXPECT_EQ(c.local, IsLocalFixedPath(files, c.path)) << Utf16ToUtf8(c.path);
        const std::vector<std::wstring> asked =
            c.driveAsked
                ? std::vector<std::wstring>{L"GetDriveTypeW(" + std::wstring(c.driveAsked) + L")"}
                : std::vector<std::wstring>{};
        EXPECT_EQ(asked, files.calls) << Utf16ToUtf8(c.path);
    }
}

}  // namespace
}  // namespace hf
