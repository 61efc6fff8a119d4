#include "tasks/ExecActions.h"
#include "tasks/PayloadLedger.h"

#include "platform/Text.h"
#include "tests/unit/tasks/TaskTestSupport.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

using fake::FakeTime;
using test::kPowerShellDir;
using test::kRundll32;
using test::kSysnative;
using test::kSystem32;
using test::kSysWow64;
using test::LoaderBuild;
using test::PlantedFile;
using test::TaskXml;
using test::VersionStrings;

struct RuleCase {
    const char* name;
    TaskXml task;
    std::vector<PlantedFile> files;
    std::vector<std::wstring> deletions;  // every deletion asked for, in order
    // A 32-bit process on 64-bit Windows: its System32 is SysWOW64, Sysnative the native folder;
    // deletions name the folders the system names. Else 32-bit Windows (no Sysnative).
    bool wow64 = false;
};

void CheckRule(const RuleCase& c) {
    SCOPED_TRACE(c.name);
    test::TaskMachine machine;
    machine.files.wow64 = c.wow64;
    machine.AddFiles(c.files);
    test::StoredTask task(c.task.Build());
    EXPECT_NO_THROW(CheckExecActions(machine.platform, task));
    EXPECT_EQ(test::Join(c.deletions), test::Join(machine.files.deletions));
    EXPECT_EQ(0, machine.com.xml.LiveObjects()) << "document or nodes not released";
}

void RunEach(const std::vector<RuleCase>& cases) {
    for (const RuleCase& c : cases) {
        CheckRule(c);
    }
}

const std::wstring kBat = kPowerShellDir + L"abc.bat";
const std::wstring kBatUpper = L"C:\\WINDOWS\\SYSTEM32\\WINDOWSPOWERSHELL\\ABC.BAT";
const std::wstring kQuotedBat = L"/c \"" + kPowerShellDir + L"abc\"";

TEST(ExecActionRules, PowerShellBatchRule) {
    RunEach({
        {"powershell.exe itself: its name has a dot, and no rundll32.exe in the command",
         TaskXml().Exec(kPowerShellDir + L"v1.0\\powershell.exe", kQuotedBat + L" rundll32.exe"),
         {{kBat}},
         {}},
        {"extension-less command: the batch file is deleted in capitals, the next action is "
         "not examined",
         TaskXml()
             .Exec(kPowerShellDir + L"abc", kQuotedBat)
             .Exec(kRundll32, L"abc12345.dll,Qw3rty7890"),
         {{kBat}, {kSystem32 + L"abc12345.dll"}},
         {kBatUpper}},
        {"command and arguments in any case",
         TaskXml().Exec(L"c:\\windows\\system32\\windowspowershell\\abc",
                        L"/C \"c:\\windows\\system32\\windowspowershell\\abc\""),
         {{kBat}},
         {kBatUpper}},
        {"a dot in a folder name does not count, only in the file name part",
         TaskXml().Exec(kPowerShellDir + L"v1.0\\abc", L"/c " + kPowerShellDir + L"v1.0\\abc"),
         {{kPowerShellDir + L"v1.0\\abc.bat"}},
         {L"C:\\WINDOWS\\SYSTEM32\\WINDOWSPOWERSHELL\\V1.0\\ABC.BAT"}},
        {"\"/C\" without its space stays in the path, which then is no local path",
         TaskXml().Exec(kPowerShellDir + L"abc", L"/C\"" + kPowerShellDir + L"abc\""),
         {{kBat}},
         {}},
        {"arguments with rundll32.exe but no WindowsPowerShell go to the loader rule",
         TaskXml().Exec(kPowerShellDir + L"abc", L"abc12345.dll,Qw3rty7890,rundll32.exe"),
         {{kSystem32 + L"abc12345.dll"}},
         {kSystem32 + L"abc12345.dll"}},
        {"arguments with neither: nothing, and the next action is examined",
         TaskXml()
             .Exec(kPowerShellDir + L"abc", L"abc12345.dll,Qw3rty7890")
             .Exec(kRundll32, L"def45678.dll,Qw3rty7890"),
         {{kSystem32 + L"abc12345.dll"}, {kSystem32 + L"def45678.dll"}},
         {kSystem32 + L"def45678.dll"}},
        {"a PowerShell command without arguments reads them as empty",
         TaskXml().Exec(kPowerShellDir + L"abc"),
         {{kBat}},
         {}},
    });
}

TEST(ExecActionRules, LoaderNameBranch) {
    const std::wstring local = L"C:\\Users\\u\\AppData\\Local\\abc12345.dll";
    RunEach({
        {"bare name: both system folders, whatever the version information",
         TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890"),
         {{kSysWow64 + L"abc12345.dll", VersionStrings({{L"ProductName", L"Windows"}})},
          {kSystem32 + L"abc12345.dll", LoaderBuild()},
          {kSystem32 + L"other.dll"}},
         {kSysWow64 + L"abc12345.dll", kSystem32 + L"abc12345.dll"},
         true},
        {"bare name: only the copy that exists",
         TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890"),
         {{kSystem32 + L"abc12345.dll"}},
         {kSystem32 + L"abc12345.dll"},
         true},
        {"32-bit Windows: System32 alone, no Sysnative",
         TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890"),
         {{kSystem32 + L"abc12345.dll"}, {kSysnative + L"abc12345.dll"}},
         {kSystem32 + L"abc12345.dll"}},
        {"bare name: no copy, no deletion",
         TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890"),
         {},
         {}},
        {"path without ProductName",
         TaskXml().Exec(kRundll32, local + L",Qw3rty7890"),
         {{local, VersionStrings({{L"CompanyName", L"x"}})}},
         {local}},
        {"path without any version resource",
         TaskXml().Exec(kRundll32, local + L",Qw3rty7890"),
         {{local}},
         {local}},
        {"path with ProductName stays",
         TaskXml().Exec(kRundll32, local + L",Qw3rty7890"),
         {{local, VersionStrings({{L"ProductName", L"Tool"}})}},
         {}},
        {"path that does not exist", TaskXml().Exec(kRundll32, local + L",Qw3rty7890"), {}, {}},
        {"quoted path with a space",
         TaskXml().Exec(kRundll32, L"\"C:\\Users\\a b\\abc12345.dll\",Qw3rty7890"),
         {{L"C:\\Users\\a b\\abc12345.dll"}},
         {L"C:\\Users\\a b\\abc12345.dll"}},
        {"command in capitals",
         TaskXml().Exec(L"C:\\WINDOWS\\SYSTEM32\\RUNDLL32.EXE", L"abc12345.dll,Qw3rty7890"),
         {{kSystem32 + L"abc12345.dll"}},
         {kSystem32 + L"abc12345.dll"}},
        {"command without \".exe\" is no loader",
         TaskXml().Exec(L"C:\\Windows\\System32\\rundll32", L"abc12345.dll,Qw3rty7890"),
         {{kSystem32 + L"abc12345.dll"}},
         {}},
        {"the pattern's match decides the shape, field 0 is what is deleted",
         TaskXml().Exec(kRundll32, L"abc12345.dll.bak,Qw3rty7890"),
         {{kSystem32 + L"abc12345.dll.bak"}},
         {kSystem32 + L"abc12345.dll.bak"}},
        {"fields after the entry are ignored",
         TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890,more"),
         {{kSystem32 + L"abc12345.dll"}},
         {kSystem32 + L"abc12345.dll"}},
        {"bare name with an OriginalFilename: a system library, kept",
         TaskXml().Exec(kRundll32, L"msvcp140.dll,Abcde12345"),
         {{kSysWow64 + L"msvcp140.dll", VersionStrings({{L"OriginalFilename", L"msvcp140.dll"}})},
          {kSystem32 + L"msvcp140.dll", LoaderBuild()}},
         {kSystem32 + L"msvcp140.dll"},
         true},
        {"bare name with an empty OriginalFilename counts as none",
         TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890"),
         {{kSystem32 + L"abc12345.dll", VersionStrings({{L"OriginalFilename", L""}})}},
         {kSystem32 + L"abc12345.dll"}},
        {"'/' makes the field a path, and a relative one is never tried",
         TaskXml().Exec(kRundll32, L"spool/drivers/x64/3/hpcpp165.dll,Qw3rty7890"),
         {{kSystem32 + L"spool\\drivers\\x64\\3\\hpcpp165.dll"},
          {kSysnative + L"spool\\drivers\\x64\\3\\hpcpp165.dll"}},
         {}},
        {"'/' in an absolute path is a path like '\\'",
         TaskXml().Exec(kRundll32, L"C:/Users/u/abc12345.dll,Qw3rty7890"),
         {{L"C:\\Users\\u\\abc12345.dll"}},
         {L"C:\\Users\\u\\abc12345.dll"}},
        {"a library on a network share is never tried",
         TaskXml().Exec(kRundll32, L"\\\\host\\share\\abc12345.dll,Qw3rty7890"),
         {},
         {}},
        {"every loader action of a task is examined",
         TaskXml()
             .Exec(kRundll32, L"abc12345.dll,Qw3rty7890")
             .Exec(kRundll32, L"def45678.dll,Zx9cvbnm12"),
         {{kSystem32 + L"abc12345.dll"}, {kSystem32 + L"def45678.dll"}},
         {kSystem32 + L"abc12345.dll", kSystem32 + L"def45678.dll"}},
    });
}

TEST(ExecActionRules, NearMissesOfTheNamePatternsFallToTheVersionBranch) {
    struct Miss {
        std::wstring library;
        std::wstring entry;
    };
    const Miss misses[] = {
        {L"abcdefgh.dll", L"Qw3rty7890"},   // no digit
        {L"12345678.dll", L"Qw3rty7890"},   // no letter
        {L"abc1234.dll", L"Qw3rty7890"},    // seven characters
        {L"abc123456.dll", L"Qw3rty7890"},  // nine characters
        {L"abc_2345.dll", L"Qw3rty7890"},   // the match is "2345.dll"
        {L"abc1.2345.dll", L"Qw3rty7890"},  // a dot in the stem
        {L"ABC12345.DLL", L"Qw3rty7890"},   // the pattern needs "dll" in lower case
        {L"abc12345.dll", L"Qw3rty789"},    // nine characters
        {L"abc12345.dll", L"Qw3rty78901"},  // eleven characters
        {L"abc12345.dll", L"QwertyUiop"},   // no digit
        {L"abc12345.dll", L"1234567890"},   // no letter
        {L"abc12345.dll", L" Qw3rty7890"},  // a leading blank stays in the field
        {L"abc12345.dll", L"Qw3rty789_"},   // not a letter or digit
    };
    for (const Miss& miss : misses) {
        // Without version information the name branch would delete, the version branch won't;
        // with the loader's version resource the version branch deletes.
        RunEach({
            {"near miss, no version information",
             TaskXml().Exec(kRundll32, miss.library + L"," + miss.entry),
             {{kSystem32 + miss.library}, {kSysnative + miss.library}},
             {}},
            {"near miss, the loader's version resource",
             TaskXml().Exec(kRundll32, miss.library + L"," + miss.entry),
             {{kSystem32 + miss.library, LoaderBuild()}},
             {kSystem32 + miss.library}},
        });
    }
}

TEST(ExecActionRules, LoaderVersionBranch) {
    const std::wstring lib = kSystem32 + L"ABC12345.DLL";
    const std::wstring lib32 = kSysWow64 + L"ABC12345.DLL";
    const std::wstring args = L"ABC12345.DLL,Qw3rty7890";
    RunEach({
        {"created 14 days 23 hours ago",
         TaskXml().Exec(kRundll32, args),
         {{lib, LoaderBuild(), FakeTime::MakeFileTime(2024, 5, 5, 13, 0)}},
         {lib}},
        {"created 15 days ago",
         TaskXml().Exec(kRundll32, args),
         {{lib, LoaderBuild(), FakeTime::MakeFileTime(2024, 5, 5, 12, 0)}},
         {}},
        {"created a month ago",
         TaskXml().Exec(kRundll32, args),
         {{lib, LoaderBuild(), FakeTime::MakeFileTime(2024, 4, 20)}},
         {}},
        {"created 3 days ahead of now",
         TaskXml().Exec(kRundll32, args),
         {{lib, LoaderBuild(), FakeTime::MakeFileTime(2024, 5, 23, 12, 0)}},
         {lib}},
        {"product version 10.0.19041.3880",
         TaskXml().Exec(kRundll32, args),
         {{lib, VersionStrings({{L"ProductVersion", L"10.0.19041.3880"}})}},
         {}},
        {"product version with a trailing blank",
         TaskXml().Exec(kRundll32, args),
         {{lib, VersionStrings({{L"ProductVersion", L"10.0.19041.388 "}})}},
         {}},
        {"an OriginalFilename string",
         TaskXml().Exec(kRundll32, args),
         {{lib, VersionStrings({{L"ProductVersion", test::kLoaderVersion},
                                {L"OriginalFilename", L"abc.dll"}})}},
         {}},
        {"an empty OriginalFilename counts as none",
         TaskXml().Exec(kRundll32, args),
         {{lib, VersionStrings(
                    {{L"ProductVersion", test::kLoaderVersion}, {L"OriginalFilename", L""}})}},
         {lib}},
        {"no version resource", TaskXml().Exec(kRundll32, args), {{lib}}, {}},
        {"each system folder's copy is judged on its own",
         TaskXml().Exec(kRundll32, args),
         {{lib32, LoaderBuild(), FakeTime::MakeFileTime(2024, 5, 1)},
          {lib, LoaderBuild(), FakeTime::MakeFileTime(2024, 5, 19)}},
         {lib},
         true},
        {"a path is its only candidate",
         TaskXml().Exec(kRundll32, L"C:\\ProgramData\\x\\loader.dll,Start"),
         {{L"C:\\ProgramData\\x\\loader.dll", LoaderBuild()},
          {kSystem32 + L"loader.dll", LoaderBuild()}},
         {L"C:\\ProgramData\\x\\loader.dll"}},
        {"shell32.dll,Control_RunDLL leaves the system library alone",
         TaskXml().Exec(kRundll32, L"shell32.dll,Control_RunDLL"),
         {{kSystem32 + L"shell32.dll",
           VersionStrings({{L"OriginalFilename", L"SHELL32.DLL"},
                           {L"ProductVersion", test::kLoaderVersion},
                           {L"ProductName", L"Microsoft\u00AE Windows\u00AE Operating System"}})},
          {kSysWow64 + L"shell32.dll",
           VersionStrings({{L"OriginalFilename", L"SHELL32.DLL"},
                           {L"ProductVersion", test::kLoaderVersion}})}},
         {},
         true},
    });
}

// Arguments that give fewer than two fields read the missing ones as empty text instead of
// ending the run with a string-list index error.
TEST(ExecActionRules, FewerThanTwoFieldsReadAsEmpty) {
    RunEach({
        {"no comma, name-shaped library without version: the name branch needs an entry",
         TaskXml().Exec(kRundll32, L"abc12345.dll"),
         {{kSystem32 + L"abc12345.dll"}},
         {}},
        {"no comma: the version branch judges the library alone",
         TaskXml().Exec(kRundll32, L"abc12345.dll"),
         {{kSystem32 + L"abc12345.dll", LoaderBuild()}},
         {kSystem32 + L"abc12345.dll"}},
        {"empty arguments name no file",
         TaskXml().Exec(kRundll32, L""),
         {{kSystem32 + L"x.dll", LoaderBuild()}},
         {}},
        {"no Arguments element reads as empty arguments",
         TaskXml().Exec(kRundll32),
         {{kSystem32 + L"x.dll", LoaderBuild()}},
         {}},
        {"the task's later actions are still examined",
         TaskXml().Exec(kRundll32, L"abc12345.dll").Exec(kRundll32, L"def45678.dll,Qw3rty7890"),
         {{kSystem32 + L"def45678.dll"}},
         {kSystem32 + L"def45678.dll"}},
    });
}

TEST(ExecActionRules, DefinitionsWithoutActions) {
    RunEach({
        {"no Exec action", TaskXml().UserId(test::kUserSid), {{kSystem32 + L"abc12345.dll"}}, {}},
    });
    test::TaskMachine machine;
    machine.files.AddFile(kSystem32 + L"abc12345.dll");
    test::StoredTask broken(L"<Task><Actions><Exec><Command>" + kRundll32 +
                            L"</Command><Arguments>abc12345.dll,Qw3rty7890</Arguments></Exec>");
    EXPECT_NO_THROW(CheckExecActions(machine.platform, broken))
        << "a definition that does not parse is one without actions";
    EXPECT_TRUE(machine.files.deletions.empty());
    // The sweep's one document: a definition that does not parse after one that did reads as
    // none, never as the one before.
    PayloadLedger ledger;
    TaskPayloads payloads(machine.platform, ledger);
    test::StoredTask loader(TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890").Build());
    CheckExecActions(payloads, loader);
    machine.files.AddFile(kSystem32 + L"abc12345.dll");
    CheckExecActions(payloads, broken);
    EXPECT_EQ(1u, machine.files.deletions.size()) << test::Join(machine.files.deletions);
}

TEST(ExecActionPaths, FileNamePartAndExtension) {
    struct Case {
        std::wstring text, name, stem;
        bool path;
    };
    const Case cases[] = {
        {L"abc.dll", L"abc.dll", L"abc", false},
        {L"C:\\a\\b.c\\d", L"d", L"C:\\a\\b.c\\d", true},
        {L"C:abc.dll", L"abc.dll", L"C:abc", true},
        {L"a.b.c", L"a.b.c", L"a.b", false},
        {L"", L"", L"", false},
        {L"dir\\", L"", L"dir\\", true},
        {L"spool/drivers/a.dll", L"spool/drivers/a.dll", L"spool/drivers/a", true},
        {L"/", L"/", L"/", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.name, FileNamePart(c.text)) << Utf16ToUtf8(c.text);
        EXPECT_EQ(c.stem, ExtensionlessForm(c.text)) << Utf16ToUtf8(c.text);
        EXPECT_EQ(c.path, ContainsPath(c.text)) << Utf16ToUtf8(c.text);
    }
}

}  // namespace
}  // namespace hf
