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

// The walk opens each component in turn, never following its own link, and stops at the first
// link, so no call ever passes through one.
TEST(LocalPath, WalksToTheFileAndStopsAtTheFirstLink) {
    fake::FakeSystem system;
    fake::FakeFileSystem files(system);
    files.AddFile(L"C:\\Users\\u\\ab12cd34.dll");
    files.AddFile(L"C:\\Share\\ab12cd34.dll");
    files.AddLink(L"C:\\Users\\u\\lnk", L"C:\\Share");
    files.AddLink(L"C:\\Users\\u\\file.dll", L"C:\\Share\\ab12cd34.dll");
    files.AddLink(L"C:\\Users\\u\\unix", L"C:\\Share", true);
    const struct {
        const wchar_t* path;
        bool plain;
        std::vector<std::wstring> opened;
    } cases[] = {
        {L"C:\\Users\\u\\ab12cd34.dll",
         true,
         {L"C:\\Users", L"C:\\Users\\u", L"C:\\Users\\u\\ab12cd34.dll"}},
        {L"c:/Users//u/ab12cd34.dll",
         true,
         {L"c:/Users", L"c:/Users//u", L"c:/Users//u/ab12cd34.dll"}},
        {L"C:\\Users\\u\\lnk\\ab12cd34.dll",
         false,
         {L"C:\\Users", L"C:\\Users\\u", L"C:\\Users\\u\\lnk"}},
        {L"C:\\Users\\u\\file.dll",
         false,
         {L"C:\\Users", L"C:\\Users\\u", L"C:\\Users\\u\\file.dll"}},
        {L"C:\\Users\\none\\ab12cd34.dll", false, {L"C:\\Users", L"C:\\Users\\none"}},
        // Wine's Unix links carry no reparse attribute: the deletion's final path refuses them.
        {L"C:\\Users\\u\\unix\\ab12cd34.dll",
         true,
         {L"C:\\Users", L"C:\\Users\\u", L"C:\\Users\\u\\unix",
          L"C:\\Users\\u\\unix\\ab12cd34.dll"}},
    };
    for (const auto& c : cases) {
        files.calls.clear();
        files.openFlags.clear();
        EXPECT_EQ(c.plain, HasNoLinkOnTheWay(files, c.path)) << Utf16ToUtf8(c.path);
        std::vector<std::wstring> opened;
        for (const std::wstring& call : files.calls) {
            opened.push_back(call.substr(12, call.size() - 13));  // "CreateFileW(" ... ")"
        }
        EXPECT_EQ(c.opened, opened) << Utf16ToUtf8(c.path);
        for (std::uint32_t flags : files.openFlags) {
            EXPECT_NE(0u, flags & kFileFlagOpenReparsePoint);
            EXPECT_NE(0u, flags & kSecuritySqosPresent);
        }
        EXPECT_EQ(0u, files.OpenFileHandles());
    }
}

}  // namespace
}  // namespace hf
