// The report's lines, and the recording layer under the checked deletion path: what is reported
// is what the file system answered.

#include "app/core/Report.h"

#include "platform/Platform.h"
#include "platform/Recording.h"
#include "tasks/PayloadDeletion.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeSystem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hf {
namespace {

TEST(Report, LinesSplitOnOneTabAndCannotBeForged) {
    struct Case {
        std::wstring kind;
        std::wstring object;
        std::string line;
    };
    const Case cases[] = {
        {L"deleted", L"C:\\Windows\\SysWOW64\\hf3k9x2a.dll",
         "deleted\tC:\\Windows\\SysWOW64\\hf3k9x2a.dll\r\n"},
        {L"service-stopped", L"RegGuardSvc", "service-stopped\tRegGuardSvc\r\n"},
        {L"key-deleted", L"HKLM\\x\\\uD55C\uAE00",
         "key-deleted\tHKLM\\x\\\xED\x95\x9C\xEA\xB8\x80\r\n"},
        // A name carrying a tab, a line break or a percent sign.
        {L"key-deleted", L"HKLM\\a\tb\r\nexit\t0", "key-deleted\tHKLM\\a%09b%0D%0Aexit%090\r\n"},
        {L"deleted", L"C:\\100%.dll", "deleted\tC:\\100%25.dll\r\n"},
        {L"deleted", std::wstring(L"a\0b\x7F", 4), "deleted\ta%00b%7F\r\n"},
        // One row per class escaped beyond them: C1 control, Cf below U+0100, a bidirectional
        // override, Zl and Zp, supplementary Cf (the last one Unicode 15 added), lone surrogates.
        {L"deleted", L"a\u0085b", "deleted\ta%85b\r\n"},
        {L"deleted", L"a\u00ADb", "deleted\ta%ADb\r\n"},
        {L"deleted", L"\u202Egpj.exe", "deleted\t%u202Egpj.exe\r\n"},
        {L"deleted", L"a\u2028b\u2029", "deleted\ta%u2028b%u2029\r\n"},
        {L"deleted", L"\U000E0001\U0001343F", "deleted\t%uDB40%uDC01%uD80D%uDC3F\r\n"},
        {L"deleted",
         L"a\xD800"
         L"b\xDC00\xDC00\xD800",
         "deleted\ta%uD800b%uDC00%uDC00%uD800\r\n"},
        // Kept: a paired supplementary character, neighbours of the escaped ranges.
        {L"deleted", L"\U0001F600\u2065\uFFFC\u00AE",
         "deleted\t\xF0\x9F\x98\x80\xE2\x81\xA5\xEF\xBF\xBC\xC2\xAE\r\n"},
        {L"deleted", L"\xD83D\xDE00", "deleted\t\xF0\x9F\x98\x80\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReportLine(c.kind, c.object), c.line) << testing::PrintToString(c.object);
    }
}

TEST(Report, ClosingLines) {
    struct Case {
        QuietOutcome outcome;
        std::string lines;
    };
    const Case cases[] = {
        {{0, {}}, "exit\t0 ran to the end and changed nothing\r\n"},
        {{3010, {}},
         "exit\t3010 ran to the end and made changes; a restart completes the work\r\n"},
        {{1641, {}}, "exit\t1641 made changes and started the restart\r\n"},
        {{1639, {}}, "exit\t1639 bad command line; nothing ran\r\n"},
        {{1603, L"X : System Error.  Code: 5.\r\nAccess is denied"},
         "failure\tX : System Error.  Code: 5.%0D%0AAccess is denied\r\n"
         "exit\t1603 a stage failed; the later stages did not run\r\n"},
        // Every stage ran, a payload stays: listed, then the box's text.
        {{1603,
          L"X : C:\\a.dll: deleted, and there again when the run ended",
          {{L"C:\\a.dll", L"deleted, and there again when the run ended"}}},
         "remaining\tC:\\a.dll (deleted, and there again when the run ended)\r\n"
         "failure\tX : C:\\a.dll: deleted, and there again when the run ended\r\n"
         "exit\t1603 a payload remains; restart Windows and run the tool again\r\n"},
        // /detect's own words for what it found.
        {{0, {}, {}, true}, "exit\t0 found nothing a run would change\r\n"},
        {{1, {}, {}, true}, "exit\t1 found what a run would change\r\n"},
        {{1, L"X : C:\\a.dll: System Error.  Code: 32.", {{L"C:\\a.dll", L"Code: 32."}}, true},
         "would-remaining\tC:\\a.dll (Code: 32.)\r\n"
         "failure\tX : C:\\a.dll: System Error.  Code: 32.\r\n"
         "exit\t1 found a payload a run could not remove now\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClosingLines(c.outcome), c.lines) << c.outcome.exitCode;
    }
}

// DeletePayload through the recording layer over the fake file system.
TEST(Recording, FileChangesAreReportedOnlyWhenTheyHappened) {
    const std::wstring kPublic = L"C:\\Users\\Public\\hf.dll";
    const std::wstring kSystem = L"C:\\Windows\\System32\\hf.dll";
    const std::wstring kRenamed = kPublic + L".aaaaaaaaaaaaaaaa";
    struct Case {
        const char* name;
        std::wstring path;
        std::function<void(fake::FakeFileSystem&)> setUp;
        std::vector<Change> report;
    };
    const std::vector<Case> cases = {
        {"deleted through its handle",
         kPublic,
         [&](auto& f) { f.AddFile(kPublic); },
         {{L"deleted", kPublic}}},
        // The system's name for the open file: under WoW64 System32 is the 32-bit folder.
        {"named as the system names it",
         kSystem,
         [](auto& f) {
             f.wow64 = true;
             f.AddFile(L"C:\\Windows\\SysWOW64\\hf.dll");
         },
         {{L"deleted", L"C:\\Windows\\SysWOW64\\hf.dll"}}},
        // Renamed through its handle first (eight random bytes 0xAA), then recorded under the new
        // name; a refused record leaves the rename, which did happen.
        {"loaded: left to the restart",
         kPublic,
         [&](auto& f) { f.AddFile(kPublic).loaded = true; },
         {{L"renamed", kPublic + L" -> " + kRenamed}, {L"pending-restart", kRenamed}}},
        {"loaded, and the restart's list refused",
         kPublic,
         [&](auto& f) {
             f.AddFile(kPublic).loaded = true;
             f.moveFailure = 5;
         },
         {{L"renamed", kPublic + L" -> " + kRenamed}}},
        {"the deletion refused",
         kPublic,
         [&](auto& f) {
             f.AddFile(kPublic);
             f.FailDelete(kPublic, 1);
         },
         {}},
        {"missing", kPublic, [](auto&) {}, {}},
    };
    for (const Case& c : cases) {
        fake::FakeSystem system;
        fake::FakeFileSystem files{system};
        files.randomValues = {0xAAAAAAAAAAAAAAAA};
        c.setUp(files);
        ChangeLog changes;
        std::vector<Change> seen;
        changes.onChange = [&seen](const Change& change) { seen.push_back(change); };
        RecordingFileApi recording(files, changes);
        const Platform platform{.system = &system, .files = &recording};

        DeletePayload(platform, c.path);

        EXPECT_EQ(changes.Changes(), c.report) << c.name;
        EXPECT_EQ(seen, c.report) << c.name << ": each change passed on as it is noted";
        EXPECT_EQ(files.OpenFileHandles(), 0u) << c.name;
    }
}

// The OEM code page (the fake's is 437 with 'é' at 0x82): what it cannot carry exactly is escaped.
TEST(Report, InTheOemCodePage) {
    struct Case {
        std::uint32_t codePage;
        std::wstring object;
        std::string line;
    };
    const Case cases[] = {
        {437, L"C:\\caf\u00E9\\100%?.dll", "deleted\tC:\\caf\x82\\100%25?.dll\r\n"},
        {437, L"C:\\Users\\\uD64D\\x.dll", "deleted\tC:\\Users\\%uD64D\\x.dll\r\n"},
        {437, L"\u0100\u00E9", "deleted\t%u0100\x82\r\n"},  // never a best fit ('A')
        {437, L"\U0001F600", "deleted\t%uD83D%uDE00\r\n"},
        {437, L"a\u202Eb", "deleted\ta%u202Eb\r\n"},
        // A code page the conversion refuses: every character beyond ASCII is escaped.
        {949, L"caf\u00E9", "deleted\tcaf%u00E9\r\n"},
    };
    for (const Case& c : cases) {
        fake::FakeSystem system;
        system.oemCodePage = c.codePage;
        EXPECT_EQ(ReportLine(L"deleted", c.object, ReportEncoding(system)), c.line)
            << testing::PrintToString(c.object);
    }
}

}  // namespace
}  // namespace hf
