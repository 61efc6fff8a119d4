#include "tasks/PayloadDeletion.h"

#include "platform/Text.h"
#include "inspect/SystemView.h"
#include "tasks/TaskSweep.h"
#include "tests/unit/tasks/TaskTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace hf {
namespace {

using fake::FakeFileSystem;
using test::kRundll32;
using test::kSysnative;
using test::kSystem32;
using test::LoaderBuild;
using test::TaskXml;

using Result = PayloadDeletionResult;
using Arrange = std::function<void(FakeFileSystem&)>;

const std::wstring kUser = L"C:\\Users\\u\\";
const std::wstring kWow64 = L"C:\\Windows\\SysWOW64\\";
const std::wstring kCscript = L"%windir%\\system32\\cscript.exe";

// A loaded library is renamed to "<path>.<16 lower-case hex digits>", drawn at random: in the
// expectations Renamed(path) stands for that name, and Stored() puts the one stored file of that
// shape in its place (or a text naming none).
const std::wstring kDrawn = L".<16 hex digits>";
std::wstring Renamed(const std::wstring& path) {
    return path + kDrawn;
}

std::vector<std::wstring> Stored(FakeFileSystem& files, std::vector<std::wstring> names) {
    files.wow64 = false;  // the machine's own layout
    for (std::wstring& name : names) {
        if (!name.ends_with(kDrawn)) {
            continue;
        }
        const std::wstring path = name.substr(0, name.size() - kDrawn.size());
        FindData data;
        const FindHandle search = files.FindFirstFileW(path + L"." + std::wstring(16, L'?'), data);
        const std::wstring found = path.substr(0, path.rfind(L'\\') + 1) + data.cFileName;
        const bool hex = search != kInvalidFindHandle &&
                         data.cFileName.find_first_not_of(
                             L"0123456789abcdef", data.cFileName.size() - 16) == std::wstring::npos;
        name = hex && !files.FindNextFileW(search, data) ? found : L"no one file named " + name;
        files.FindClose(search);
    }
    return names;
}

const std::wstring kUserSid = L"S-1-5-21-3623811015-3361044348-30300820-1013";
const std::wstring kAuthenticatedUsers = L"S-1-5-11";

// The trusted folder of the fake with one more entry, for `sid`.
ObjectSecurity WithEntry(const std::wstring& sid, std::uint32_t mask, std::uint8_t flags = 0,
                         std::uint8_t type = kAccessAllowedAceType) {
    ObjectSecurity security = FakeFileSystem::TrustedSecurity();
    security.dacl.push_back({type, flags, mask, sid});
    return security;
}

// A user's own folder: the user has full control.
ObjectSecurity UserFolder() {
    return WithEntry(kUserSid, 0x001F01FF);
}

const char* Show(Result result) {
    switch (result) {
        case Result::kDeleted:
            return "deleted";
        case Result::kScheduledAtRestart:
            return "scheduled at the restart";
        case Result::kKept:
            return "kept";
        case Result::kPassedOver:
            return "passed over";
    }
    return "?";
}

TEST(PayloadDeletion, ParentSegments) {
    const struct {
        const wchar_t* path;
        bool parent;
    } cases[] = {
        {L"C:\\a\\..\\b", true}, {L"C:/a/../b", true},      {L"..\\b", true},
        {L"../b", true},         {L"C:\\a\\..", true},      {L"C:\\a/..\\b", true},
        {L"..", true},           {L"C:\\a\\...\\b", false}, {L"C:\\a\\..b\\c", false},
        {L"C:\\a..\\b", false},  {L"C:\\a\\.\\b", false},   {L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.parent, HasParentSegment(c.path)) << Utf16ToUtf8(c.path);
    }
}

TEST(PayloadDeletion, SystemViewMapsTheSystemFoldersOfA32BitProcess) {
    test::TaskMachine machine;
    FakeFileSystem& files = machine.files;
    const struct {
        bool wow64;
        const wchar_t* path;
        const wchar_t* seen;
    } cases[] = {
        {true, L"C:\\Windows\\System32\\a.dll", L"C:\\Windows\\SysWOW64\\a.dll"},
        {true, L"c:\\WINDOWS\\system32\\x\\a.dll", L"C:\\Windows\\SysWOW64\\x\\a.dll"},
        {true, L"C:\\Windows\\System32", L"C:\\Windows\\SysWOW64"},
        {true, L"C:\\Windows\\Sysnative\\a.dll", L"C:\\Windows\\System32\\a.dll"},
        {true, L"C:\\windows\\SYSNATIVE\\drivers\\a.sys", L"C:\\Windows\\System32\\drivers\\a.sys"},
        {true, L"C:\\Windows\\System320\\a.dll", L"C:\\Windows\\System320\\a.dll"},
        {true, L"C:\\Windows\\SysnativeX\\a.dll", L"C:\\Windows\\SysnativeX\\a.dll"},
        {true, L"C:\\Windows\\SysWOW64\\a.dll", L"C:\\Windows\\SysWOW64\\a.dll"},
        {true, L"D:\\Windows\\System32\\a.dll", L"D:\\Windows\\System32\\a.dll"},
        {true, L"C:\\Users\\u\\System32\\a.dll", L"C:\\Users\\u\\System32\\a.dll"},
        {false, L"C:\\Windows\\System32\\a.dll", L"C:\\Windows\\System32\\a.dll"},
        {false, L"C:\\Windows\\Sysnative\\a.dll", L"C:\\Windows\\Sysnative\\a.dll"},
    };
    for (const auto& c : cases) {
        files.wow64 = c.wow64;
        const SystemView view = ReadSystemView(files);
        EXPECT_EQ(c.wow64, view.wow64);
        EXPECT_EQ(c.seen, MapToSystemView(files, view, c.path))
            << Utf16ToUtf8(c.path) << (c.wow64 ? " (WoW64)" : " (native)");
    }
    // Windows under another folder: the view follows the 32-bit system folder.
    files.wow64 = true;
    files.wow64Folder = L"E:\\WinNT\\SysWOW64\\";
    const SystemView view = ReadSystemView(files);
    EXPECT_EQ(L"E:\\WinNT", view.windowsFolder);
    EXPECT_EQ(L"E:\\WinNT\\SysWOW64\\a.dll",
              MapToSystemView(files, view, L"E:\\WinNT\\System32\\a.dll"));
    EXPECT_EQ(L"C:\\Windows\\System32\\a.dll",
              MapToSystemView(files, view, L"C:\\Windows\\System32\\a.dll"));
}

struct DeletionCase {
    const char* name;
    std::wstring path;
    Arrange arrange;
    Result result;
    std::vector<std::wstring> pending{};  // the system's list afterwards
    std::wstring gone{};                  // a stored file the call removes (empty: none)
    std::wstring stays{};                 // a stored file that must survive (empty: none)
    bool wow64 = false;
    std::uint32_t staysWith = 0;  // the attributes it keeps (0: not checked)
};

void CheckDeletion(const DeletionCase& c) {
    SCOPED_TRACE(std::string(c.name) + (c.wow64 ? " (WoW64)" : " (native)"));
    test::TaskMachine machine;
    machine.files.wow64 = c.wow64;
    c.arrange(machine.files);
    EXPECT_STREQ(Show(c.result), Show(DeletePayload(machine.platform, c.path).result));
    EXPECT_EQ(test::Join(Stored(machine.files, c.pending)),
              test::Join(machine.files.pendingAtRestart));
    if (!c.gone.empty()) {
        EXPECT_FALSE(machine.files.ExistsStored(c.gone)) << Utf16ToUtf8(c.gone);
    }
    const std::wstring stays = c.stays.empty() ? c.stays : Stored(machine.files, {c.stays})[0];
    EXPECT_TRUE(stays.empty() || machine.files.ExistsStored(stays)) << Utf16ToUtf8(c.stays);
    if (c.staysWith != 0 && machine.files.Find(stays) != nullptr) {
        EXPECT_EQ(c.staysWith, machine.files.Find(stays)->attributes) << "left as it was";
    }
    EXPECT_EQ(0u, machine.files.OpenFileHandles());
    for (std::uint32_t flags : machine.files.openFlags) {
        EXPECT_EQ(kSecuritySqosPresent | kSecurityIdentification,
                  flags & (kSecuritySqosPresent | kSecurityIdentification))
            << "an open without SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION";
    }
    if (HasParentSegment(c.path)) {
        EXPECT_TRUE(machine.files.deletions.empty()) << "a parent segment was opened";
    }
}

// A file as the rule tests plant them: created ten days before the fake's "now".
fake::FakeFile& Put(FakeFileSystem& files, const std::wstring& path, bool loader = false) {
    fake::FakeFile& file = loader ? files.AddFile(path, LoaderBuild()) : files.AddFile(path);
    file.creation = file.lastWrite = fake::FakeTime::MakeFileTime(2024, 5, 10);
    return file;
}

Arrange Plant(std::wstring path) {
    return [path](FakeFileSystem& files) { files.AddFile(path); };
}
Arrange Loaded(std::wstring path) {
    return [path](FakeFileSystem& files) { files.AddFile(path).loaded = true; };
}
Arrange Held(std::wstring path) {
    return [path](FakeFileSystem& files) { files.AddFile(path).heldWithoutDeleteSharing = true; };
}

TEST(PayloadDeletion, DecidesHowAFileGoes) {
    const std::wstring dll = kUser + L"abc12345.dll";
    const std::wstring victim = L"C:\\Users\\Admin\\notes.txt";
    const DeletionCase cases[] = {
        {"a plain file", dll, Plant(dll), Result::kDeleted, {}, dll},
        {"named in other case and with '/'",
         L"c:/USERS/u//ABC12345.DLL",
         Plant(dll),
         Result::kDeleted,
         {},
         dll},
        {"named by its short name",
         kUser + L"ABC123~1.DLL",
         [&](FakeFileSystem& f) {
             f.AddFile(dll);
             f.SetShortName(dll, L"ABC123~1.DLL");
         },
         Result::kDeleted,
         {},
         dll},
        {"absent", dll, [](FakeFileSystem&) {}, Result::kPassedOver, {}},
        {"refused at the open: never scheduled",
         dll,
         [&](FakeFileSystem& f) {
             f.AddFile(dll).loaded = true;
             f.FailPath(dll, fake::kErrorAccessDenied);
         },
         Result::kPassedOver,
         {},
         {},
         dll},
        {"a folder is no file",
         kUser + L"dir.dll",
         [&](FakeFileSystem& f) { f.AddDirectory(kUser + L"dir.dll"); },
         Result::kPassedOver,
         {},
         {},
         kUser + L"dir.dll"},
        // The infection sets attributes on its own files: none of them keeps one.
        {"read-only",
         dll,
         [&](FakeFileSystem& f) { f.AddFile(dll).attributes = 0x21; },
         Result::kDeleted,
         {},
         dll},
        {"read-only, hidden and system",
         dll,
         [&](FakeFileSystem& f) { f.AddFile(dll).attributes = 0x27; },
         Result::kDeleted,
         {},
         dll},
        {"read-only, and the deletion refused: left as it was",
         dll,
         [&](FakeFileSystem& f) {
             f.AddFile(dll).attributes = 0x23;
             f.FailDelete(dll, fake::kErrorSharingViolation);
         },
         Result::kKept,
         {},
         {},
         dll,
         false,
         0x23},
        {"read-only and loaded: renamed and recorded, no longer read-only for the restart",
         dll,
         [&](FakeFileSystem& f) {
             fake::FakeFile& file = f.AddFile(dll);
             file.attributes = 0x21;
             file.loaded = true;
         },
         Result::kScheduledAtRestart,
         {Renamed(dll)},
         dll,
         Renamed(dll),
         false,
         0x20},
        {"another refusal of the deletion keeps it",
         dll,
         [&](FakeFileSystem& f) {
             f.AddFile(dll);
             f.FailDelete(dll, fake::kErrorSharingViolation);
         },
         Result::kKept,
         {},
         {},
         dll},
        {"a loaded library: renamed, and the new name recorded",
         dll,
         Loaded(dll),
         Result::kScheduledAtRestart,
         {Renamed(dll)},
         dll,
         Renamed(dll)},
        {"held open without delete sharing",
         dll,
         Held(dll),
         Result::kScheduledAtRestart,
         {dll},
         {},
         dll},
        {"held, and its attributes cannot be read either",
         dll,
         [&](FakeFileSystem& f) {
             f.AddFile(dll).heldWithoutDeleteSharing = true;
             f.FailPath(dll, fake::kErrorSharingViolation);
         },
         Result::kPassedOver,
         {},
         {},
         dll},
        {"the scheduling fails: kept under its new name",
         dll,
         [&](FakeFileSystem& f) {
             f.AddFile(dll).loaded = true;
             f.moveFailure = fake::kErrorAccessDenied;
         },
         Result::kKept,
         {},
         {},
         Renamed(dll)},
        {"recorded as the check saw it, short name expanded",
         kUser + L"ABC123~1.DLL",
         [&](FakeFileSystem& f) {
             f.AddFile(dll).loaded = true;
             f.SetShortName(dll, L"ABC123~1.DLL");
         },
         Result::kScheduledAtRestart,
         {Renamed(dll)},
         {},
         Renamed(dll)},
        // Parent segments, whichever separator.
        {"'..' with '\\'",
         L"C:\\x.dll\\..\\Users\\Admin\\notes.txt",
         Plant(victim),
         Result::kPassedOver,
         {},
         {},
         victim},
        {"'..' with '/'",
         L"C:\\Windows\\System32\\../../Users/Admin/notes.txt",
         Plant(victim),
         Result::kPassedOver,
         {},
         {},
         victim},
        {"'..' in a file in use",
         L"C:\\x\\..\\Users\\Admin\\notes.txt",
         Loaded(victim),
         Result::kPassedOver,
         {},
         {},
         victim},
        // Links: a folder on the way, or the last component itself.
        {"a junction on the way",
         kUser + L"WindowsPowerShell\\notes.txt",
         [&](FakeFileSystem& f) {
             f.AddFile(victim);
             f.AddLink(kUser + L"WindowsPowerShell", L"C:\\Users\\Admin");
         },
         Result::kPassedOver,
         {},
         {},
         victim},
        {"a junction on the way to a file in use",
         kUser + L"WindowsPowerShell\\notes.txt",
         [&](FakeFileSystem& f) {
             f.AddFile(victim).loaded = true;
             f.AddLink(kUser + L"WindowsPowerShell", L"C:\\Users\\Admin");
         },
         Result::kPassedOver,
         {},
         {},
         victim},
        {"a junction on the way to a file held open",
         kUser + L"WindowsPowerShell\\notes.txt",
         [&](FakeFileSystem& f) {
             f.AddFile(victim).heldWithoutDeleteSharing = true;
             f.AddLink(kUser + L"WindowsPowerShell", L"C:\\Users\\Admin");
         },
         Result::kPassedOver,
         {},
         {},
         victim},
        {"a symbolic link as the last component",
         dll,
         [&](FakeFileSystem& f) {
             f.AddFile(victim);
             f.AddLink(dll, victim);
         },
         Result::kPassedOver,
         {},
         {},
         victim},
        {"a Unix symbolic link on the way (Wine)",
         kUser + L"lnk\\notes.txt",
         [&](FakeFileSystem& f) {
             f.AddFile(victim);
             f.AddLink(kUser + L"lnk", L"C:\\Users\\Admin", true);
         },
         Result::kPassedOver,
         {},
         {},
         victim},
        {"a Unix symbolic link as the last component (Wine)",
         dll,
         [&](FakeFileSystem& f) {
             f.AddFile(victim);
             f.AddLink(dll, victim, true);
         },
         Result::kPassedOver,
         {},
         {},
         victim},
        // The system folders, native and as a 32-bit process on 64-bit Windows.
        {"System32, native",
         kSystem32 + L"a.dll",
         Loaded(kSystem32 + L"a.dll"),
         Result::kScheduledAtRestart,
         {Renamed(kSystem32 + L"a.dll")}},
        {"System32 is the 32-bit folder",
         kSystem32 + L"a.dll",
         Loaded(kWow64 + L"a.dll"),
         Result::kScheduledAtRestart,
         {Renamed(kWow64 + L"a.dll")},
         {},
         Renamed(kWow64 + L"a.dll"),
         true},
        {"Sysnative is the native System32",
         kSysnative + L"a.dll",
         Held(kSystem32 + L"a.dll"),
         Result::kScheduledAtRestart,
         {kSystem32 + L"a.dll"},
         {},
         kSystem32 + L"a.dll",
         true},
        {"Sysnative, deleted at once",
         kSysnative + L"a.dll",
         Plant(kSystem32 + L"a.dll"),
         Result::kDeleted,
         {},
         kSystem32 + L"a.dll",
         {},
         true},
        {"System32, deleted at once",
         kSystem32 + L"a.dll",
         Plant(kWow64 + L"a.dll"),
         Result::kDeleted,
         {},
         kWow64 + L"a.dll",
         {},
         true},
    };
    for (const DeletionCase& c : cases) {
        CheckDeletion(c);
    }
}

// A loaded library's rename: a name taken is drawn again, a refused rename is the end. A held
// file keeps its name: recorded only where no other account can change a folder above it.
TEST(PayloadDeletion, AFileInUseIsRecordedOnlyUnderAPathThatNamesItAtBoot) {
    const std::wstring dll = kUser + L"abc12345.dll";
    const auto owned = [] {
        ObjectSecurity security = FakeFileSystem::TrustedSecurity();
        security.owner = kUserSid;
        return security;
    }();
    const auto addFolders = WithEntry(kAuthenticatedUsers, kFileAddSubdirectory);
    const struct {
        const char* name;
        bool held;
        Arrange more;
        std::vector<std::wstring> pending;  // the file stays under the last name, or its own
    } cases[] = {
        // Eight equal bytes give the same 16 digits whichever way they are read.
        {"collides, draws again",
         false,
         [&](FakeFileSystem& f) {
             f.AddFile(dll + L".aaaaaaaaaaaaaaaa");
             f.randomValues = {0xAAAAAAAAAAAAAAAA, 0xBBBBBBBBBBBBBBBB};
         },
         {dll + L".bbbbbbbbbbbbbbbb"}},
        {"every name drawn is taken",
         false,
         [&](FakeFileSystem& f) {
             f.AddFile(dll + L".aaaaaaaaaaaaaaaa");
             f.randomValues.assign(8, 0xAAAAAAAAAAAAAAAA);
         },
         {}},
        {"a refused rename", false, [](FakeFileSystem& f) { f.renameFailure = 5; }, {}},
        {"no random name to be had", false, [](FakeFileSystem& f) { f.randomFails = true; }, {}},
        {"held in a trusted tree", true, [](FakeFileSystem&) {}, {dll}},
        {"held in a folder its user may change",
         true,
         [&](FakeFileSystem& f) { f.SetSecurity(kUser, UserFolder()); },
         {}},
        {"held below a folder a user owns",
         true,
         [&](FakeFileSystem& f) { f.SetSecurity(L"C:\\Users", owned); },
         {}},
        {"held, the root open to new folders (Windows' own)",
         true,
         [&](FakeFileSystem& f) { f.SetSecurity(L"C:\\", addFolders); },
         {dll}},
        {"held, a folder open to new folders",
         true,
         [&](FakeFileSystem& f) { f.SetSecurity(L"C:\\Users", addFolders); },
         {}},
        {"held, a folder's security unreadable",
         true,
         [](FakeFileSystem& f) { f.securityFailure = 5; },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TaskMachine machine;
        fake::FakeFile& file = machine.files.AddFile(dll);
        (c.held ? file.heldWithoutDeleteSharing : file.loaded) = true;
        c.more(machine.files);
        EXPECT_STREQ(Show(c.pending.empty() ? Result::kKept : Result::kScheduledAtRestart),
                     Show(DeletePayload(machine.platform, dll).result));
        EXPECT_EQ(test::Join(c.pending), test::Join(machine.files.pendingAtRestart));
        const std::wstring now = c.pending.empty() ? dll : c.pending.back();
        EXPECT_TRUE(machine.files.ExistsStored(now)) << Utf16ToUtf8(now);
        EXPECT_EQ(0u, machine.files.OpenFileHandles());
    }
}

// Every rule's deletion goes through the checked path: parent segments and links that would
// carry it elsewhere delete nothing, and a payload in use is scheduled once, as the system sees
// it.
struct SweepCase {
    const char* name;
    TaskXml task;
    Arrange arrange;
    std::wstring victim;                  // stored; must survive
    std::vector<std::wstring> pending{};  // the system's list afterwards
    bool wow64 = false;
};

void RunSweep(const SweepCase& c) {
    SCOPED_TRACE(std::string(c.name) + (c.wow64 ? " (WoW64)" : " (native)"));
    test::TaskMachine machine;
    machine.files.wow64 = c.wow64;
    c.arrange(machine.files);
    machine.com.scheduler.AddTask(L"\\", L"task", c.task.Build());
    EXPECT_NO_THROW(SweepScheduledTasks(machine.platform, machine.ledger));
    EXPECT_EQ(0u, machine.files.OpenFileHandles());
    EXPECT_TRUE(machine.files.ExistsStored(Stored(machine.files, {c.victim})[0]))
        << Utf16ToUtf8(c.victim);
    EXPECT_EQ(test::Join(Stored(machine.files, c.pending)),
              test::Join(machine.files.pendingAtRestart));
}

TEST(PayloadDeletion, NoRuleCanBeSteered) {
    const std::wstring notes = L"C:\\Users\\Admin\\Documents\\notes.txt";
    const std::wstring publicDll = L"C:\\Users\\Public\\ab12cd34.dll";
    const std::wstring logon = L"C:\\Users\\Admin\\logon.vbs";
    const std::wstring bat = L"C:\\Users\\Admin\\x.BAT";
    const std::wstring linked = kUser + L"WindowsPowerShell";
    auto planted = [](std::wstring path, bool loader = false) -> Arrange {
        return [path, loader](FakeFileSystem& f) { Put(f, path, loader); };
    };
    auto linkedTo = [&](std::wstring victim, std::wstring target, bool loader = false) -> Arrange {
        return [=](FakeFileSystem& f) {
            planted(victim, loader)(f);
            f.AddLink(linked, target);
        };
    };
    auto scriptTask = [](const std::wstring& arguments) {
        return TaskXml().UserId(test::kUserSid).Exec(kCscript, arguments);
    };
    const std::wstring batchCommand = test::kPowerShellDir + L"abc";
    const SweepCase cases[] = {
        {"name branch, path, '\\'",
         TaskXml().Exec(kRundll32,
                        L"C:\\ab12cd34.dll\\..\\Users\\Admin\\Documents\\notes.txt,"
                        L"Qw3rty7890"),
         planted(notes), notes},
        {"name branch, path, '/'",
         TaskXml().Exec(kRundll32,
                        L"C:/ab12cd34.dll/../Users/Admin/Documents/notes.txt,"
                        L"Qw3rty7890"),
         planted(notes), notes},
        {"name branch, bare name climbing out of the system folders",
         TaskXml().Exec(kRundll32, L"../../Users/Public/ab12cd34.dll,Qw3rty7890"),
         planted(publicDll), publicDll},
        {"version branch, path",
         TaskXml().Exec(kRundll32, L"C:\\x\\..\\Users\\Public\\ab12cd34.dll,Start"),
         planted(publicDll, true), publicDll},
        {"version branch, bare name",
         TaskXml().Exec(kRundll32, L"../../Users/Public/ab12cd34.dll,Start"),
         planted(publicDll, true), publicDll},
        {"script-host rule, '\\'",
         scriptTask(L"\"C:\\WindowsPowerShell\\..\\Users\\Admin\\logon.vbs\""), planted(logon),
         logon},
        {"script-host rule, '/'", scriptTask(L"C:/WindowsPowerShell/../Users/Admin/logon.vbs"),
         planted(logon), logon},
        {"batch rule, '\\'",
         TaskXml().Exec(batchCommand, L"/c \"C:\\WindowsPowerShell\\..\\Users\\Admin\\x\""),
         planted(bat), bat},
        {"batch rule, '/'",
         TaskXml().Exec(batchCommand, L"/c C:/WindowsPowerShell/../Users/Admin/x"), planted(bat),
         bat},
        // A folder the user owns that is a link, named so the rule's text test passes.
        {"script-host rule through a link", scriptTask(linked + L"\\logon.vbs"),
         linkedTo(logon, L"C:\\Users\\Admin"), logon},
        {"batch rule through a link", TaskXml().Exec(batchCommand, L"/c " + linked + L"\\x"),
         linkedTo(bat, L"C:\\Users\\Admin"), bat},
        {"name branch through a link",
         TaskXml().Exec(kRundll32, linked + L"\\ab12cd34.dll,Qw3rty7890"),
         linkedTo(publicDll, L"C:\\Users\\Public"), publicDll},
        {"version branch through a link, the library in use",
         TaskXml().Exec(kRundll32, linked + L"\\ab12cd34.dll,Start"),
         [&](FakeFileSystem& f) {
             linkedTo(publicDll, L"C:\\Users\\Public", true)(f);
             f.Find(publicDll)->loaded = true;
         },
         publicDll},
    };
    for (const SweepCase& c : cases) {
        RunSweep(c);
    }
}

// A path off the local fixed disks, in every rule: nothing deleted, and no file-system call but
// the drive's type (the version read and the existence test included); a '/' makes a field a
// path; a system library named bare keeps its OriginalFilename and stays.
TEST(PayloadDeletion, NoRuleTouchesAPathOffTheLocalDisks) {
    const std::wstring folders[] = {
        L"\\\\host\\share\\WindowsPowerShell\\",
        L"//host/share/WindowsPowerShell/",
        L"\\\\.\\pipe\\WindowsPowerShell\\",
        L"\\\\?\\C:\\WindowsPowerShell\\",
        L"WindowsPowerShell\\",
        L"C:WindowsPowerShell\\",
        L"\\WindowsPowerShell\\",
        L"D:\\WindowsPowerShell\\",
        L"E:/WindowsPowerShell/",
    };
    const std::wstring spool = kSystem32 + L"spool\\drivers\\x64\\3\\hpcpp165.dll";
    const std::wstring runtime = L"msvcp140.dll";
    const auto runtimeVersion = test::VersionStrings(
        {{L"OriginalFilename", L"msvcp140.dll"}, {L"ProductVersion", test::kLoaderVersion}});
    struct Case {
        std::wstring name;
        TaskXml task;
        bool readsFiles = false;  // the system library must be read to be kept
    };
    std::vector<Case> cases;
    for (const std::wstring& folder : folders) {
        cases.push_back({L"name branch " + folder,
                         TaskXml().Exec(kRundll32, folder + L"ab12cd34.dll,Qw3rty7890")});
        cases.push_back({L"version branch " + folder,
                         TaskXml().Exec(kRundll32, folder + L"ab12cd34.dll,Start")});
        cases.push_back({L"script-host rule " + folder,
                         TaskXml().UserId(test::kUserSid).Exec(kCscript, folder + L"a.vbs")});
        cases.push_back({L"batch rule " + folder,
                         TaskXml().Exec(test::kPowerShellDir + L"abc", L"/c " + folder + L"x")});
    }
    cases.push_back({L"'/' in a bare name, name branch",
                     TaskXml().Exec(kRundll32, L"spool/drivers/x64/3/hpcpp165.dll,Qw3rty7890")});
    cases.push_back({L"'/' in a bare name, version branch",
                     TaskXml().Exec(kRundll32, L"spool/drivers/x64/3/hpcpp165.dll,Start")});
    cases.push_back({L"a system library under a bare name",
                     TaskXml().Exec(kRundll32, runtime + L",Abcde12345"), true});
    for (bool wow64 : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(Utf16ToUtf8(c.name) + (wow64 ? " (WoW64)" : " (native)"));
            test::TaskMachine machine;
            machine.files.wow64 = wow64;
            machine.files.driveTypes = {{L'D', kDriveRemovable}, {L'E', kDriveRemote}};
            machine.AddFiles({{spool, LoaderBuild()},
                              {kWow64 + L"spool\\drivers\\x64\\3\\hpcpp165.dll", LoaderBuild()},
                              {kSystem32 + runtime, runtimeVersion},
                              {kSysnative + runtime, runtimeVersion},
                              {kWow64 + runtime, runtimeVersion}});
            machine.com.scheduler.AddTask(L"\\", L"task", c.task.Build());
            EXPECT_NO_THROW(SweepScheduledTasks(machine.platform, machine.ledger));
            EXPECT_TRUE(machine.files.deletions.empty()) << test::Join(machine.files.deletions);
            EXPECT_TRUE(machine.files.pendingAtRestart.empty());
            for (const std::wstring& call : machine.files.calls) {
                EXPECT_TRUE(c.readsFiles || call.starts_with(L"GetDriveTypeW("))
                    << Utf16ToUtf8(call);
            }
            if (!c.readsFiles) {
                EXPECT_EQ(0, machine.version.sizeCalls) << "a version resource was read";
            }
        }
    }
}

// A folder of the user's that is a link (here to a share, as a junction to an object-manager link
// can be): no rule calls anything below it, the existence test and the version read included.
TEST(PayloadDeletion, NoRuleCallsThroughALinkOnTheWay) {
    const std::wstring linked = kUser + L"WindowsPowerShell";
    const TaskXml tasks[] = {
        TaskXml().Exec(kRundll32, linked + L"\\ab12cd34.dll,Qw3rty7890"),
        TaskXml().Exec(kRundll32, linked + L"\\ab12cd34.dll,Start"),
        TaskXml().UserId(test::kUserSid).Exec(kCscript, linked + L"\\a.vbs"),
        TaskXml().Exec(test::kPowerShellDir + L"abc", L"/c " + linked + L"\\x"),
    };
    for (const TaskXml& task : tasks) {
        test::TaskMachine machine;
        machine.files.AddDirectory(L"\\\\host\\share\\WindowsPowerShell");
        for (const wchar_t* name : {L"ab12cd34.dll", L"a.vbs", L"X.BAT"}) {
            Put(machine.files, L"\\\\host\\share\\WindowsPowerShell\\" + std::wstring(name), true);
        }
        machine.files.AddLink(linked, L"\\\\host\\share\\WindowsPowerShell");
        machine.com.scheduler.AddTask(L"\\", L"task", task.Build());
        EXPECT_NO_THROW(SweepScheduledTasks(machine.platform, machine.ledger));
        for (const std::wstring& call : machine.files.calls) {
            // GetFullPathNameW works on the text alone.
            EXPECT_TRUE(call.starts_with(L"GetFullPathNameW(") ||
                        UpperCase(call).find(L"WINDOWSPOWERSHELL\\") == std::wstring::npos)
                << "a call through the link: " << Utf16ToUtf8(call);
        }
        EXPECT_EQ(0, machine.version.sizeCalls);
        EXPECT_TRUE(machine.files.deletions.empty());
    }
}

// Payloads in use in each loader branch: scheduled once each, under the path the system sees;
// the sweep goes on with the next candidate.
TEST(PayloadDeletion, PayloadsInUseAreScheduledOnceEach) {
    const std::wstring byPath = kUser + L"ab12cd34.dll";
    auto loaded = [](std::vector<std::wstring> paths, bool loader) -> Arrange {
        return [=](FakeFileSystem& f) {
            for (const std::wstring& path : paths) {
                Put(f, path, loader).loaded = true;
            }
        };
    };
    const SweepCase cases[] = {
        {"name branch, path",
         TaskXml().Exec(kRundll32, byPath + L",Qw3rty7890"),
         loaded({byPath}, false),
         Renamed(byPath),
         {Renamed(byPath)}},
        {"name branch, bare name, 32-bit Windows: System32 alone",
         TaskXml().Exec(kRundll32, L"ab12cd34.dll,Qw3rty7890"),
         loaded({kSystem32 + L"ab12cd34.dll", kSysnative + L"ab12cd34.dll"}, false),
         kSysnative + L"ab12cd34.dll",
         {Renamed(kSystem32 + L"ab12cd34.dll")}},
        {"name branch, bare name",
         TaskXml().Exec(kRundll32, L"ab12cd34.dll,Qw3rty7890"),
         loaded({kWow64 + L"ab12cd34.dll", kSystem32 + L"ab12cd34.dll"}, false),
         Renamed(kWow64 + L"ab12cd34.dll"),
         {Renamed(kWow64 + L"ab12cd34.dll"), Renamed(kSystem32 + L"ab12cd34.dll")},
         true},
        {"version branch, path",
         TaskXml().Exec(kRundll32, byPath + L",Start"),
         loaded({byPath}, true),
         Renamed(byPath),
         {Renamed(byPath)}},
        {"version branch, bare name",
         TaskXml().Exec(kRundll32, L"ab12cd34.dll,Start"),
         loaded({kSystem32 + L"ab12cd34.dll"}, true),
         Renamed(kSystem32 + L"ab12cd34.dll"),
         {Renamed(kSystem32 + L"ab12cd34.dll")}},
        {"version branch, bare name",
         TaskXml().Exec(kRundll32, L"ab12cd34.dll,Start"),
         loaded({kSystem32 + L"ab12cd34.dll"}, true),
         Renamed(kSystem32 + L"ab12cd34.dll"),
         {Renamed(kSystem32 + L"ab12cd34.dll")},
         true},
        {"script-host rule, held open",
         TaskXml().UserId(test::kUserSid).Exec(kCscript, L"\"" + test::kPowerShellDir + L"a.vbs\""),
         [](FakeFileSystem& f) {
             f.AddFile(test::kPowerShellDir + L"a.vbs").heldWithoutDeleteSharing = true;
         },
         test::kPowerShellDir + L"a.vbs",
         {test::kPowerShellDir + L"a.vbs"}},
    };
    for (const SweepCase& c : cases) {
        RunSweep(c);
    }
}

}  // namespace
}  // namespace hf
