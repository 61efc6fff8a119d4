#include "inspect/WindowsFolder.h"
#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

#include <optional>

namespace hf {
namespace {

// The folder comes from GetSystemWindowsDirectoryW, the one call that gives the system's shared
// Windows folder on a Terminal Server too, exactly as given; any failure gives empty text.
TEST(GetWindowsFolder, IsTheSystemsSharedFolderAsGivenOrEmpty) {
    fake::FakeSystem system;
    fake::FakeFileSystem files(system);
    Platform platform;
    platform.files = &files;
    struct Case {
        std::wstring folder;
        std::optional<std::uint32_t> failure;
        std::wstring expected;
        const char* why;
    };
    const std::wstring longFolder = L"C:\\" + std::wstring(300, L'W');
    const Case cases[] = {
        {L"C:\\Windows", {}, L"C:\\Windows", "the system's folder"},
        {L"C:\\", {}, L"C:\\", "a root keeps its separator"},
        {L"c:\\windows", {}, L"c:\\windows", "taken as given, case kept"},
        {longFolder, {}, longFolder, "longer than MAX_PATH: whole"},
        {L"C:\\Windows", 5u, L"", "failure"},
        {L"", {}, L"", "empty"},
    };
    for (const auto& c : cases) {
        files.windowsFolder = c.folder;
        files.windowsFolderFailure = c.failure;
        EXPECT_EQ(GetWindowsFolder(platform), c.expected) << c.why;
    }
}

}  // namespace
}  // namespace hf
