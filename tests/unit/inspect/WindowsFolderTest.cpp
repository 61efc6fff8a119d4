#include "inspect/WindowsFolder.h"
#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

TEST(GetWindowsFolder, OnlyExactSuccessGivesTheTextUpToItsNul) {
    fake::FakeSystem system;
    fake::FakeFileSystem files(system);
    Platform platform;
    platform.files = &files;
    struct Case {
        std::wstring shellText;
        std::int32_t result;
        std::wstring expected;
        const char* why;
    };
    const std::wstring full(261, L'W');
    const Case cases[] = {
        {L"C:\\Windows", 0, L"C:\\Windows", "S_OK"},
        {L"C:\\windows\\", 0, L"C:\\windows\\", "taken as given, separator kept"},
        {L"C:\\Windows", 1, L"", "S_FALSE is not S_OK"},
        {L"C:\\Windows", static_cast<std::int32_t>(0x80070005), L"", "failure"},
        {full, 0, full, "261 characters without NUL"},
        {full + L"XYZ", 0, full, "never more than the buffer"},
        {L"", 0, L"", "empty path"},
    };
    for (const auto& c : cases) {
        files.shellFolderPath = c.shellText;
        files.shellFolderResult = c.result;
        EXPECT_EQ(GetWindowsFolder(platform), c.expected) << c.why;
    }
    ASSERT_FALSE(files.folderRequests.empty());
    EXPECT_EQ(files.folderRequests[0].csidl, 0x24);
    EXPECT_EQ(files.folderRequests[0].flags, 0u);
}

}  // namespace
}  // namespace hf
