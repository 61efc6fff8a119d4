// A candidate is examined once, through one handle, under folders held since they were checked:
// what the fake records of path-taking calls shows that nothing after the check takes the path
// as text again, and a folder swapped after its check changes nothing the rules read or delete.

#include "tasks/CandidateFile.h"

#include "inspect/VersionInfo.h"
#include "platform/Text.h"
#include "tasks/PayloadDeletion.h"
#include "tests/unit/tasks/TaskTestSupport.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

using State = Candidate::State;

const char* Show(State state) {
    switch (state) {
        case State::kAbsent:
            return "absent";
        case State::kPassedOver:
            return "passed over";
        case State::kOpen:
            return "open";
    }
    return "?";
}

TEST(CandidateFile, WalksOnceFromTheRootAndHoldsWhatItChecked) {
    test::TaskMachine machine;
    fake::FakeFileSystem& files = machine.files;
    files.AddFile(L"C:\\Users\\u\\ab12cd34.dll", test::LoaderBuild());
    files.AddFile(L"C:\\Users\\u\\second.dll");
    files.AddFile(L"C:\\Share\\ab12cd34.dll");
    files.AddLink(L"C:\\Users\\u\\lnk", L"C:\\Share");
    files.AddLink(L"C:\\Users\\u\\file.dll", L"C:\\Share\\ab12cd34.dll");
    files.AddLink(L"C:\\Users\\u\\unix", L"C:\\Share", true);
    files.AddFile(L"C:\\Users\\u\\Other Things\\ab12cd34.dll");
    files.SetShortName(L"C:\\Users\\u\\Other Things", L"OTHERT~1");
    files.AddLink(L"C:\\Users\\u\\sibling", L"C:\\Users\\u\\Other Things", true);
    files.driveTypes[L'E'] = kDriveRemote;
    CandidateFolders folders(machine.platform);
    const struct {
        const wchar_t* path;
        State state;
        const wchar_t* why;  // passed over: the reason
        std::vector<std::wstring> calls;
    } cases[] = {
        {L"C:\\Users\\u\\ab12cd34.dll",
         State::kOpen,
         L"",
         {L"GetDriveTypeW(C:\\)", L"GetFullPathNameW(C:\\Users\\u\\ab12cd34.dll)",
          L"CreateFileW(C:\\)", L"NtOpenFile(C:\\Users)", L"NtOpenFile(C:\\Users\\u)",
          L"NtOpenFile(C:\\Users\\u\\ab12cd34.dll)"}},
        // The drive and the folders are checked once a stage.
        {L"c:/USERS/u/second.dll",
         State::kOpen,
         L"",
         {L"GetFullPathNameW(c:/USERS/u/second.dll)", L"NtOpenFile(C:\\Users\\u\\second.dll)"}},
        {L"C:\\Users\\u\\lnk\\ab12cd34.dll",
         State::kPassedOver,
         L"a link on the way",
         {L"GetFullPathNameW(C:\\Users\\u\\lnk\\ab12cd34.dll)", L"NtOpenFile(C:\\Users\\u\\lnk)"}},
        {L"C:\\Users\\u\\lnk\\other.dll",
         State::kPassedOver,
         L"a link on the way",
         {L"GetFullPathNameW(C:\\Users\\u\\lnk\\other.dll)"}},
        {L"C:\\Users\\u\\file.dll",
         State::kPassedOver,
         L"a link on the way",
         {L"GetFullPathNameW(C:\\Users\\u\\file.dll)", L"NtOpenFile(C:\\Users\\u\\file.dll)"}},
        // Wine's Unix links show no reparse attribute; the final path leads elsewhere.
        {L"C:\\Users\\u\\unix\\ab12cd34.dll",
         State::kPassedOver,
         L"a link on the way",
         {L"GetFullPathNameW(C:\\Users\\u\\unix\\ab12cd34.dll)",
          L"NtOpenFile(C:\\Users\\u\\unix)"}},
        // A Unix link to a folder beside it: the final name is not the one asked for, nor an
        // 8.3 name of it; a folder named by its 8.3 name is itself.
        {L"C:\\Users\\u\\sibling\\ab12cd34.dll",
         State::kPassedOver,
         L"a link on the way",
         {L"GetFullPathNameW(C:\\Users\\u\\sibling\\ab12cd34.dll)",
          L"NtOpenFile(C:\\Users\\u\\sibling)", L"GetShortPathNameW(C:\\Users\\u\\Other Things)"}},
        {L"C:\\Users\\u\\OTHERT~1\\ab12cd34.dll",
         State::kOpen,
         L"",
         {L"GetFullPathNameW(C:\\Users\\u\\OTHERT~1\\ab12cd34.dll)",
          L"NtOpenFile(C:\\Users\\u\\OTHERT~1)", L"GetShortPathNameW(C:\\Users\\u\\Other Things)",
          L"NtOpenFile(C:\\Users\\u\\OTHERT~1\\ab12cd34.dll)"}},
        {L"C:\\Users\\none\\ab12cd34.dll",
         State::kAbsent,
         L"",
         {L"GetFullPathNameW(C:\\Users\\none\\ab12cd34.dll)", L"NtOpenFile(C:\\Users\\none)"}},
        // Refused from the text or the drive, before any open.
        {L"C:\\Users\\u\\..\\Admin\\a.dll", State::kPassedOver, L"a \"..\" segment", {}},
        {L"\\\\host\\share\\a.dll", State::kPassedOver, L"not on a local fixed disk", {}},
        {L"C:\\x\\COM1.dll", State::kPassedOver, L"a device name", {}},
        {L"E:\\a.dll", State::kPassedOver, L"not on a local fixed disk", {L"GetDriveTypeW(E:\\)"}},
    };
    for (const auto& c : cases) {
        files.calls.clear();
        const Candidate candidate = folders.Examine(c.path, true);
        EXPECT_STREQ(Show(c.state), Show(candidate.state)) << Utf16ToUtf8(c.path);
        EXPECT_EQ(c.why, candidate.why) << Utf16ToUtf8(c.path);
        EXPECT_EQ(test::Join(c.calls), test::Join(files.calls)) << Utf16ToUtf8(c.path);
    }
}

// Between the check of a folder and the use of the file under it, its owner tries to rename it
// away and put a link to another folder in its place: held without delete sharing, it cannot
// be renamed, and the file read and deleted is the one checked.
TEST(CandidateFile, AFolderSwappedAfterItsCheckChangesNothing) {
    test::TaskMachine machine;
    fake::FakeFileSystem& files = machine.files;
    files.AddFile(L"C:\\Users\\u\\hf\\ab12cd34.dll", test::LoaderBuild());
    files.AddFile(L"C:\\Users\\Admin\\ab12cd34.dll",
                  test::VersionStrings({{L"ProductVersion", L"1.0"}}));
    bool swapped = true;
    files.afterOpen = [&](const std::wstring& path) {
        if (path == L"C:\\Users\\u\\hf") {
            files.afterOpen = nullptr;
            swapped = files.MoveAway(L"C:\\Users\\u\\hf", L"C:\\Users\\u\\old");
            if (swapped) {
                files.AddLink(L"C:\\Users\\u\\hf", L"C:\\Users\\Admin");
            }
        }
    };
    CandidateFolders folders(machine.platform);
    Candidate candidate = folders.Examine(L"C:\\Users\\u\\hf\\ab12cd34.dll", true);
    ASSERT_STREQ("open", Show(candidate.state));
    const auto& block = candidate.VersionBlock(files);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(L"10.0.19041.388", VersionString(*block, L"ProductVersion"));
    EXPECT_EQ(PayloadDeletionResult::kDeleted, DeletePayload(machine.platform, candidate).result);
    candidate.file.reset();
    EXPECT_FALSE(swapped) << "a held folder cannot be renamed";
    EXPECT_FALSE(files.ExistsStored(L"C:\\Users\\u\\hf\\ab12cd34.dll"));
    EXPECT_TRUE(files.ExistsStored(L"C:\\Users\\Admin\\ab12cd34.dll"));
}

}  // namespace
}  // namespace hf
