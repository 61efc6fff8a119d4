#include "tasks/TaskSweep.h"

#include "platform/Errors.h"
#include "platform/Text.h"
#include "tests/unit/tasks/TaskTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace hf {
namespace {

using test::kPowerShellDir;
using test::kRundll32;
using test::kSystem32;
using test::kUserSid;
using test::PlantedFile;
using test::TaskXml;

const std::wstring kCscript = L"%windir%\\system32\\cscript.exe";
const std::wstring kScript = kPowerShellDir + L"a.vbs";
const std::wstring kQuotedScript = L"\"" + kScript + L"\"";
// Another account's file under a WindowsPowerShell folder.
const std::wstring kProfile =
    L"C:\\Users\\Admin\\Documents\\WindowsPowerShell\\Microsoft.PowerShell_profile.ps1";

TEST(IsUserScriptTask, NeedsAUserPrincipalAndACscriptVbsAction) {
    struct Case {
        const char* name;
        TaskXml task;
        bool expected;
    };
    const Case cases[] = {
        {"user account, cscript with a quoted .vbs",
         TaskXml().UserId(kUserSid).Exec(kCscript, kQuotedScript), true},
        {"user account in lower case",
         TaskXml()
             .UserId(L"s-1-5-21-1004336348-1177238915-682003330-512")
             .Exec(kCscript, kQuotedScript),
         true},
        {"local system account", TaskXml().UserId(L"S-1-5-18").Exec(kCscript, kQuotedScript),
         false},
        {"a group only", TaskXml().GroupId(L"S-1-5-32-545").Exec(kCscript, kQuotedScript), false},
        {"a user account given as GroupId",
         TaskXml().GroupId(kUserSid).Exec(kCscript, kQuotedScript), false},
        {"the prefix without its last dash",
         TaskXml().UserId(L"S-1-5-21").Exec(kCscript, kQuotedScript), false},
        {"a later principal is the user",
         TaskXml().UserId(L"S-1-5-18").UserId(kUserSid).Exec(kCscript, kQuotedScript), true},
        {"no principal", TaskXml().Exec(kCscript, kQuotedScript), false},
        {"wscript does not count",
         TaskXml().UserId(kUserSid).Exec(L"C:\\Windows\\System32\\wscript.exe", kQuotedScript),
         false},
        {"the script run directly", TaskXml().UserId(kUserSid).Exec(kScript, L""), false},
        {"a .vbs in the command only", TaskXml().UserId(kUserSid).Exec(L"cscript.exe", L"x.js"),
         false},
        {"cscript without arguments", TaskXml().UserId(kUserSid).Exec(kCscript), false},
        {"cscript and .vbs in any case",
         TaskXml().UserId(kUserSid).Exec(L"CScript.Exe", L"C:\\x\\A.Vbs"), true},
        {"the matching action need not be the first",
         TaskXml().UserId(kUserSid).Exec(L"notepad.exe", L"a.vbs").Exec(kCscript, kQuotedScript),
         true},
    };
    for (const Case& c : cases) {
        test::TaskMachine machine;
        test::StoredTask task(c.task.Build());
        EXPECT_EQ(c.expected, IsUserScriptTask(machine.platform, task)) << c.name;
        EXPECT_EQ(1, task.reads) << c.name;
        EXPECT_EQ(0, machine.com.xml.LiveObjects()) << c.name;
    }
    test::TaskMachine machine;
    test::StoredTask broken(L"<Task><Principals><Principal><UserId>" + std::wstring(kUserSid));
    EXPECT_FALSE(IsUserScriptTask(machine.platform, broken)) << "a definition that does not parse";
}

TEST(IsUserScriptTask, ReadsActionsWhateverThePrincipalsShowedAndSkipsOtherCommandsArguments) {
    test::TaskMachine machine;
    test::StoredTask task(
        TaskXml().UserId(L"S-1-5-18").Exec(L"notepad.exe", L"x").Exec(kCscript, L"y").Build());
    EXPECT_FALSE(IsUserScriptTask(machine.platform, task));
    const auto& calls = machine.com.xml.calls;
    EXPECT_EQ(1, std::count(calls.begin(), calls.end(), L"selectNodes(Actions/Exec)"));
    EXPECT_EQ(1, std::count(calls.begin(), calls.end(), L"get_text(Arguments)"))
        << "only the cscript action's arguments are read";
}

struct SweepCase {
    const char* name;
    TaskXml task;
    std::vector<PlantedFile> files;
    std::vector<std::wstring> deletions;
};

void RunSweep(const SweepCase& c) {
    SCOPED_TRACE(c.name);
    test::TaskMachine machine;
    machine.AddFiles(c.files);
    machine.com.scheduler.AddTask(L"\\", L"task", c.task.Build());
    EXPECT_NO_THROW(SweepScheduledTasks(machine.platform, machine.ledger));
    EXPECT_EQ(test::Join(c.deletions), test::Join(machine.files.deletions));
}

TEST(ScriptHostRule, DeletesTheFirstActionsScriptOnly) {
    const SweepCase cases[] = {
        {"quoted script under WindowsPowerShell",
         TaskXml().UserId(kUserSid).Exec(kCscript, kQuotedScript),
         {{kScript}},
         {kScript}},
        {"//B before the path: the whole text is no local path and is never tried",
         TaskXml().UserId(kUserSid).Exec(kCscript, L"//B " + kScript),
         {{kScript}},
         {}},
        {"the path in capitals does not contain \"WindowsPowerShell\"",
         TaskXml().UserId(kUserSid).Exec(kCscript,
                                         L"C:\\WINDOWS\\SYSTEM32\\WINDOWSPOWERSHELL\\A.VBS"),
         {{kScript}},
         {}},
        // Another account's file, named by a first action that is not the script host's.
        {"only the first Exec action counts, and only when it is the matching one",
         TaskXml()
             .UserId(kUserSid)
             .Exec(L"notepad.exe", L"\"" + kProfile + L"\"")
             .Exec(kCscript, kQuotedScript),
         {{kScript}, {kProfile}},
         {}},
        {"a path that does not end in .vbs",
         TaskXml().UserId(kUserSid).Exec(kCscript, kPowerShellDir + L"a.vbs.ps1"),
         {{kPowerShellDir + L"a.vbs.ps1"}},
         {}},
        {".vbs in any case",
         TaskXml().UserId(kUserSid).Exec(kCscript, kPowerShellDir + L"a.VbS"),
         {{kPowerShellDir + L"a.VbS"}},
         {kPowerShellDir + L"a.VbS"}},
        {"a first Exec action without arguments names nothing",
         TaskXml().UserId(kUserSid).Exec(L"notepad.exe").Exec(kCscript, kQuotedScript),
         {{kScript}},
         {}},
        {"no user principal",
         TaskXml().UserId(L"S-1-5-18").Exec(kCscript, kQuotedScript),
         {{kScript}},
         {}},
        {"a script outside WindowsPowerShell",
         TaskXml().UserId(kUserSid).Exec(kCscript, L"C:\\Users\\u\\a.vbs"),
         {{L"C:\\Users\\u\\a.vbs"}},
         {}},
        {"every quote goes, wherever it is",
         TaskXml().UserId(kUserSid).Exec(kCscript,
                                         L"C:\\Windows\\System32\\\"WindowsPowerShell\"\\a.vbs"),
         {{kScript}},
         {kScript}},
    };
    for (const SweepCase& c : cases) {
        RunSweep(c);
    }
}

TEST(ScriptHostRule, TheExecRulesStillRunAfterIt) {
    RunSweep({"script task whose second action is a loader",
              TaskXml()
                  .UserId(kUserSid)
                  .Exec(kCscript, kQuotedScript)
                  .Exec(kRundll32, L"abc12345.dll,Qw3rty7890"),
              {{kScript}, {kSystem32 + L"abc12345.dll"}},
              {kScript, kSystem32 + L"abc12345.dll"}});
}

TEST(DeleteScriptPayload, TakesTheArgumentsAsTheWholePath) {
    struct Case {
        std::wstring xml;
        std::vector<std::wstring> deletions;
        std::vector<std::wstring> planted{};
    };
    const Case cases[] = {
        // Not a path that ends in .vbs.
        {TaskXml().Exec(kCscript, L"\"" + kScript + L"\" -nologo").Build(),
         {},
         {kScript, kScript + L" -nologo"}},
        // The whole text names no file ('/' separates): nothing is opened.
        {TaskXml().Exec(kCscript, L"\"" + kScript + L"\" //nologo").Build(), {}, {kScript}},
        {TaskXml().Exec(kCscript, L"c:\\windowspowershell\\a.vbs").Build(), {}},
        {TaskXml().Build(), {}},
        {L"not xml", {}},
    };
    for (const Case& c : cases) {
        test::TaskMachine machine;
        for (const std::wstring& path : c.planted) {
            machine.files.AddFile(path);
        }
        TaskPayloads payloads(machine.platform, machine.ledger);
        DeleteScriptPayload(payloads, c.xml);
        EXPECT_EQ(test::Join(c.deletions), test::Join(machine.files.deletions))
            << Utf16ToUtf8(c.xml);
    }
}

// A loader task whose library sits in System32 under `name`: its deletion shows the task was
// examined.
std::wstring Marker(const std::wstring& name) {
    return TaskXml().Exec(kRundll32, name + L",Qw3rty7890").Build();
}

class Walk : public ::testing::Test {
  protected:
    // \            t1, t2 (hidden)
    // \A           a1
    // \A\B         (none)
    // \A\B\C       c1 (hidden)
    // \D           d1
    void SetUp() override {
        auto& s = machine.com.scheduler;
        s.AddTask(L"\\", L"t1", Marker(L"aaaa0001.dll"));
        s.AddTask(L"\\", L"t2", Marker(L"aaaa0002.dll"), true);
        s.AddTask(L"\\A", L"a1", Marker(L"aaaa0003.dll"));
        s.AddFolder(L"\\A\\B");
        s.AddTask(L"\\A\\B\\C", L"c1", Marker(L"aaaa0004.dll"), true);
        s.AddTask(L"\\D", L"d1", Marker(L"aaaa0005.dll"));
        for (int i = 1; i <= 5; ++i) {
            machine.files.AddFile(Library(i));
        }
    }
    static std::wstring Library(int i) {
        return kSystem32 + L"aaaa000" + std::to_wstring(i) + L".dll";
    }
    std::vector<std::wstring> Calls(std::initializer_list<std::wstring_view> prefixes) const {
        std::vector<std::wstring> picked;
        for (const std::wstring& call : machine.com.scheduler.calls) {
            for (std::wstring_view prefix : prefixes) {
                if (call.starts_with(prefix)) {
                    picked.push_back(call);
                }
            }
        }
        return picked;
    }

    test::TaskMachine machine;
};

TEST_F(Walk, DepthFirstTasksBeforeSubfoldersHiddenIncluded) {
    SweepScheduledTasks(machine.platform, machine.ledger);
    EXPECT_EQ(test::Join({L"GetTasks(\\,1)", L"GetFolders(\\,1)", L"GetTasks(\\A,1)",
                          L"GetFolders(\\A,1)", L"GetTasks(\\A\\B,1)", L"GetFolders(\\A\\B,1)",
                          L"GetTasks(\\A\\B\\C,1)", L"GetFolders(\\A\\B\\C,1)", L"GetTasks(\\D,1)",
                          L"GetFolders(\\D,1)"}),
              test::Join(Calls({L"GetTasks", L"GetFolders"})));
    EXPECT_EQ(test::Join({Library(1), Library(2), Library(3), Library(4), Library(5)}),
              test::Join(machine.files.deletions))
        << "every task, hidden ones three folders down included, in walk order";
    EXPECT_EQ(
        test::Join({L"Tasks.get_Count(\\)", L"Tasks.get_Item(\\,1)", L"Tasks.get_Item(\\,2)",
                    L"Tasks.get_Count(\\A)", L"Tasks.get_Item(\\A,1)", L"Tasks.get_Count(\\A\\B)",
                    L"Tasks.get_Count(\\A\\B\\C)", L"Tasks.get_Item(\\A\\B\\C,1)",
                    L"Tasks.get_Count(\\D)", L"Tasks.get_Item(\\D,1)"}),
        test::Join(Calls({L"Tasks."})))
        << "the count is read once per folder, items 1 to Count";
    EXPECT_EQ(
        test::Join({L"Folders.get_Count(\\)", L"Folders.get_Item(\\,1)", L"Folders.get_Count(\\A)",
                    L"Folders.get_Item(\\A,1)", L"Folders.get_Count(\\A\\B)",
                    L"Folders.get_Item(\\A\\B,1)", L"Folders.get_Count(\\A\\B\\C)",
                    L"Folders.get_Item(\\,2)", L"Folders.get_Count(\\D)"}),
        test::Join(Calls({L"Folders."})))
        << "each subtree is finished before the next subfolder is fetched";
}

TEST_F(Walk, ConnectsToTheRootAndReleasesEverythingBeforeUninitialising) {
    SweepScheduledTasks(machine.platform, machine.ledger);
    const auto& calls = machine.com.scheduler.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(L"CreateTaskService", calls[0]);
    EXPECT_EQ(L"Connect()", calls[1]);
    EXPECT_EQ(L"GetFolder(\\)", calls[2]);
    EXPECT_EQ(1, machine.com.coInitializeCalls);
    EXPECT_EQ(1, machine.com.coUninitializeCalls);
    EXPECT_EQ(0, machine.com.liveAtUninitialize);
}

TEST_F(Walk, EachRuleReadsTheDefinitionItself) {
    machine.com.scheduler.AddTask(L"\\D", L"script",
                                  TaskXml().UserId(kUserSid).Exec(kCscript, kQuotedScript).Build());
    SweepScheduledTasks(machine.platform, machine.ledger);
    const auto reads = Calls({L"get_Xml(\\D\\script)"});
    EXPECT_EQ(3u, reads.size()) << "IsUserScriptTask, DeleteScriptPayload and CheckExecActions";
    EXPECT_EQ(2u, Calls({L"get_Xml(\\t1)"}).size()) << "a task that is no script task";
}

TEST_F(Walk, NoTaskDefinitionChanges) {
    machine.com.scheduler.AddTask(L"\\D", L"script",
                                  TaskXml().UserId(kUserSid).Exec(kCscript, kQuotedScript).Build());
    const auto before = machine.com.scheduler.Definitions();
    SweepScheduledTasks(machine.platform, machine.ledger);
    EXPECT_EQ(before, machine.com.scheduler.Definitions());
}

TEST_F(Walk, ADefinitionThatDoesNotParseIsPassedOver) {
    machine.com.scheduler.AddTask(L"\\", L"broken", L"<Task><Actions>");
    EXPECT_NO_THROW(SweepScheduledTasks(machine.platform, machine.ledger));
    EXPECT_EQ(5u, machine.files.deletions.size());
}

TEST_F(Walk, FailedCallsStopTheWalkWithTheirMessage) {
    struct Case {
        const char* name;
        bool xml;  // a document call rather than a scheduler call
        std::wstring call;
        std::wstring where;
        ComStatus status;
        std::wstring message;
        std::size_t deletedBefore;  // libraries 1..n deleted before the failure
    };
    const Case cases[] = {
        {"refused connection",
         false,
         L"Connect",
         L"",
         {kEAccessDenied, L""},
         L"Access is denied",
         0},
        {"root folder",
         false,
         L"GetFolder",
         L"\\",
         {kEFail, L"Folder unavailable.\r\n"},
         L"Folder unavailable",
         0},
        {"a folder's listing refused",
         false,
         L"GetTasks",
         L"\\A\\B\\C",
         {kEAccessDenied, L"The lab refused this folder."},
         L"The lab refused this folder",
         3},
        {"a task count",
         false,
         L"Tasks.get_Count",
         L"\\A",
         {kEFail, L""},
         L"OLE error 80004005",
         2},
        {"a task item",
         false,
         L"Tasks.get_Item",
         L"\\",
         {kEInvalidArg, L"bad index  \t"},
         L"bad index",
         0},
        {"a task's definition",
         false,
         L"get_Xml",
         L"\\A\\a1",
         {kEAccessDenied, L"No access..."},
         L"No access",
         2},
        {"the subfolder list", false, L"GetFolders", L"\\A", {kEFail, L"x"}, L"x", 3},
        {"a subfolder count", false, L"Folders.get_Count", L"\\", {kEFail, L"y"}, L"y", 2},
        {"a subfolder item", false, L"Folders.get_Item", L"\\", {kEFail, L"z"}, L"z", 2},
        {"loading a definition", true, L"loadXML", L"", {kEFail, L"load"}, L"load", 0},
        {"the root element", true, L"get_documentElement", L"", {kEFail, L"root"}, L"root", 0},
        {"selecting actions",
         true,
         L"selectNodes",
         L"Actions/Exec",
         {kEFail, L"select"},
         L"select",
         0},
        {"selecting a command",
         true,
         L"selectSingleNode",
         L"Command",
         {kEFail, L"single"},
         L"single",
         0},
        {"a node's text", true, L"get_text", L"Arguments", {kEFail, L"text"}, L"text", 0},
        {"a list's length",
         true,
         L"get_length",
         L"Principals/Principal/UserId",
         {kEFail, L"len"},
         L"len",
         0},
        {"a list's item", true, L"get_item", L"Actions/Exec", {kEFail, L"item"}, L"item", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TaskMachine m;
        auto& s = m.com.scheduler;
        s.AddTask(L"\\", L"t1", Marker(L"aaaa0001.dll"));
        s.AddTask(L"\\", L"t2", Marker(L"aaaa0002.dll"), true);
        s.AddTask(L"\\A", L"a1", Marker(L"aaaa0003.dll"));
        s.AddTask(L"\\A\\B\\C", L"c1", Marker(L"aaaa0004.dll"), true);
        s.AddTask(L"\\D", L"d1", Marker(L"aaaa0005.dll"));
        for (int i = 1; i <= 5; ++i) {
            m.files.AddFile(Library(i));
        }
        if (c.xml) {
            m.com.xml.Fail(c.call, c.status, c.where);
        } else {
            s.Fail(c.call, c.status, c.where);
        }
        try {
            SweepScheduledTasks(m.platform, m.ledger);
            ADD_FAILURE() << "no exception";
        } catch (const EOleException& e) {
            EXPECT_EQ(c.status.hr, e.ErrorCode());
            EXPECT_EQ(c.message, e.Message());
        }
        std::vector<std::wstring> expected;
        for (std::size_t i = 1; i <= c.deletedBefore; ++i) {
            expected.push_back(Library(static_cast<int>(i)));
        }
        EXPECT_EQ(test::Join(expected), test::Join(m.files.deletions))
            << "later tasks are not visited";
        EXPECT_EQ(1, m.com.coUninitializeCalls);
        EXPECT_EQ(0, m.com.liveAtUninitialize) << "objects released before CoUninitialize";
    }
}

TEST_F(Walk, AMissingDocumentClassNamesTheClass) {
    machine.system.messages[static_cast<std::uint32_t>(kRegDbEClassNotReg)] =
        L"Class not registered\r\n";
    machine.com.xml.createResult = kRegDbEClassNotReg;
    try {
        SweepScheduledTasks(machine.platform, machine.ledger);
        FAIL() << "no exception";
    } catch (const EOleException& e) {
        EXPECT_EQ(kRegDbEClassNotReg, e.ErrorCode());
        EXPECT_EQ(L"Class not registered, ClassID: {F6D90F11-9C73-11D3-B32E-00C04F990BB4}",
                  e.Message());
    }
    EXPECT_EQ(1, machine.com.coUninitializeCalls);
}

TEST_F(Walk, SilentWithoutComOrScheduler) {
    {
        test::TaskMachine m;
        m.com.scheduler.AddTask(L"\\", L"t1", Marker(L"aaaa0001.dll"));
        m.com.coInitializeResult = kRpcEChangedMode;
        EXPECT_NO_THROW(SweepScheduledTasks(m.platform, m.ledger));
        EXPECT_EQ(0, m.com.coUninitializeCalls) << "a failed CoInitialize is not paired";
        EXPECT_TRUE(m.com.scheduler.calls.empty());
    }
    {
        test::TaskMachine m;
        m.com.createServiceResult = kRegDbEClassNotReg;
        EXPECT_NO_THROW(SweepScheduledTasks(m.platform, m.ledger));
        EXPECT_EQ(1, m.com.coUninitializeCalls);
        EXPECT_EQ(test::Join({L"CreateTaskService"}), test::Join(m.com.scheduler.calls));
    }
    {
        test::TaskMachine m;
        m.com.coInitializeResult = kSFalse;  // already initialised: still paired
        m.com.scheduler.AddTask(L"\\", L"t1", Marker(L"aaaa0001.dll"));
        m.files.AddFile(Library(1));
        SweepScheduledTasks(m.platform, m.ledger);
        EXPECT_EQ(1, m.com.coUninitializeCalls);
        EXPECT_EQ(1u, m.files.deletions.size());
    }
}

}  // namespace
}  // namespace hf
