// The whole task sweep through the real COM runtime: CoCreateInstance of the Task Scheduler
// class (the lab's server, registered in place of Wine's, which cannot list tasks), real MSXML,
// real files. Tasks are planted as definition files in the scheduler's store, the native
// System32\Tasks of the throwaway prefix, payloads as files with version resources and set times.

#include <windows.h>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/UniqueHandle.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Platform.h"
#include "tasks/PayloadDeletion.h"
#include "tasks/PayloadLedger.h"
#include "tasks/TaskSweep.h"
#include "tests/unit/tasks/TaskXml.h"
#include "tests/wine/common/WineTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace hf {
namespace {

using test::TaskXml;
using wine::CreateDirectories;
using wine::ExeDir;
using wine::kSystem32;
using wine::NativeSystem32;
using wine::ReadFileBytes;
using wine::RemoveTree;
using wine::RunAndWait;
using wine::UnderWow64;
using wine::WriteNewFile;

// The native System32 as this process names it, and the task store the scheduler keeps there.
const std::wstring kNativeSystem32 = NativeSystem32();
const std::wstring kTasksRoot = kNativeSystem32 + L"Tasks";
const std::wstring kPowerShellDir = L"C:\\Windows\\System32\\WindowsPowerShell\\";
const std::wstring kLab = L"C:\\Users\\Public\\hflab\\";
const std::wstring kRundll32 = L"C:\\Windows\\System32\\rundll32.exe";
const std::wstring kCscript = L"%windir%\\system32\\cscript.exe";

void CopyFixture(const std::wstring& fixture, const std::wstring& path) {
    WriteNewFile(path, ReadFileBytes(ExeDir() + fixture));
}

// Sets the last-write time (and with it, on Wine, the creation time) to now minus `hours`.
void SetAgeHours(const std::wstring& path, double hours) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks{};
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    const LONGLONG delta = static_cast<LONGLONG>(hours * 3600.0 * 1e7);
    ticks.QuadPart = static_cast<ULONGLONG>(static_cast<LONGLONG>(ticks.QuadPart) - delta);
    FILETIME stamp{ticks.LowPart, ticks.HighPart};
    UniqueFile file(FileTraits{},
                    ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file && ::SetFileTime(file.get(), &stamp, nullptr, &stamp)) << Utf16ToUtf8(path);
}

// Every file below `directory` (recursively when asked) with its content.
void Collect(const std::wstring& directory, bool recursive,
             std::map<std::wstring, std::string>* contents, std::set<std::wstring>* names) {
    wine::ForEachEntry(directory, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if (wine::IsDirectory(data)) {
            if (recursive) {
                Collect(path, recursive, contents, names);
            }
            return;
        }
        if (contents != nullptr) {
            (*contents)[UpperCase(path)] = ReadFileBytes(path);
        }
        if (names != nullptr) {
            names->insert(UpperCase(path));
        }
    });
}

// A task definition file as Windows writes it.
void PlantTask(const std::wstring& relative, const std::wstring& xml) {
    WriteNewFile(kTasksRoot + L"\\" + relative, wine::Utf16FileBytes(xml));
}

void PlantPlainFile(const std::wstring& path) {
    WriteNewFile(path, "MZ not really a library");
}

bool Exists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The files a sweep may touch: the lab folder, WindowsPowerShell and System32 itself (both
// system folders under WoW64).
std::set<std::wstring> Inventory() {
    std::set<std::wstring> names;
    Collect(kLab.substr(0, kLab.size() - 1), true, nullptr, &names);
    Collect(kPowerShellDir.substr(0, kPowerShellDir.size() - 1), false, nullptr, &names);
    Collect(kSystem32.substr(0, kSystem32.size() - 1), false, nullptr, &names);
    if (UnderWow64()) {
        Collect(kNativeSystem32.substr(0, kNativeSystem32.size() - 1), false, nullptr, &names);
    }
    return names;
}

std::map<std::wstring, std::string> TaskFiles() {
    std::map<std::wstring, std::string> files;
    Collect(kTasksRoot, true, &files, nullptr);
    return files;
}

std::wstring Show(const std::set<std::wstring>& names) {
    std::wstring shown;
    for (const std::wstring& name : names) {
        shown += L"[" + name + L"]";
    }
    return shown;
}

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// The system's list of renames at the restart, as (source, target) pairs; empty when none.
std::vector<std::pair<std::wstring, std::wstring>> PendingRenames() {
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, RRF_RT_REG_MULTI_SZ,
                       nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, RRF_RT_REG_MULTI_SZ,
                       nullptr, data.data(), &bytes) != ERROR_SUCCESS) {
        return {};
    }
    data.resize(bytes / sizeof(wchar_t));
    std::vector<std::wstring> texts;
    for (size_t start = 0, end; start < data.size(); start = end + 1) {
        end = data.find(L'\0', start);
        if (end == std::wstring::npos) {
            end = data.size();
        }
        texts.push_back(data.substr(start, end - start));
    }
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    for (size_t i = 0; i + 1 < texts.size() && !texts[i].empty(); i += 2) {
        pairs.emplace_back(texts[i], texts[i + 1]);
    }
    return pairs;
}

void ClearPendingRenames() {
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Whether `recorded` is "\??\" + `path` + "." + 16 hex digits: the name a loaded library is
// renamed to before it is recorded.
bool IsRenamedFrom(const std::wstring& recorded, const std::wstring& path) {
    const std::wstring prefix = L"\\??\\" + path + L".";
    if (recorded.size() != prefix.size() + 16 ||
        !SamePath(recorded.substr(0, prefix.size()), prefix)) {
        return false;
    }
    return recorded.find_first_not_of(L"0123456789abcdef", prefix.size()) == std::wstring::npos;
}

// A Unix symbolic link at `link` leading to `target`, made on the Linux side as a user of the
// sandbox could (Wine runs Unix programs it is asked to start).
bool MakeUnixLink(const std::wstring& target, const std::wstring& link) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixName =
        GetProcedure<UnixName>(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (unixName == nullptr) {
        return false;
    }
    auto take = [&](const std::wstring& path) {
        char* name = unixName(path.c_str());
        const std::string text = name != nullptr ? name : "";
        ::HeapFree(::GetProcessHeap(), 0, name);
        return Utf8ToUtf16(text);
    };
    // The link does not exist yet: its folder's Unix name, then its own name.
    const size_t slash = link.rfind(L'\\');
    const std::wstring from = take(target), folder = take(link.substr(0, slash));
    if (from.empty() || folder.empty()) {
        return false;
    }
    const std::wstring to = folder + L"/" + link.substr(slash + 1);
    // Wine hands back a process that has ended before the Unix program has: wait for the link.
    RunAndWait(L"Z:\\bin\\ln", L"/bin/ln -s \"" + from + L"\" \"" + to + L"\"", 30000);
    for (int i = 0; i < 300 && ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        ::Sleep(100);
    }
    return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The stand-in for rundll32.exe, started on `library` and killed when it goes out of scope.
class StandInLoader {
  public:
    explicit StandInLoader(const std::wstring& library) {
        const std::wstring event = L"hf-standin-" + std::to_wstring(::GetCurrentProcessId());
        ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
        std::wstring command =
            L"\"" + ExeDir() + L"standin-rundll32.exe\" \"" + library + L"\" " + event;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (ready_ && ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                       nullptr, &startup, &started)) {
            process_.reset(started.hProcess);
            const UniqueKernelHandle thread(KernelHandleTraits{}, started.hThread);
            const HANDLE waits[] = {ready_.get(), process_.get()};
            loaded_ = ::WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0;
        }
    }
    StandInLoader(const StandInLoader&) = delete;
    StandInLoader& operator=(const StandInLoader&) = delete;
    ~StandInLoader() { Kill(); }

    bool Loaded() const { return loaded_; }
    void Kill() {
        if (process_) {
            ::TerminateProcess(process_.get(), 0);
            ::WaitForSingleObject(process_.get(), 30000);
            process_.reset();
        }
    }

  private:
    UniqueKernelHandle ready_{KernelHandleTraits{}};
    UniqueKernelHandle process_{KernelHandleTraits{}};
    bool loaded_ = false;
};

// Whether the calling thread's COM was left uninitialised (a fresh CoInitialize gives S_OK).
bool ComLeftUninitialised() {
    const HRESULT hr = ::CoInitialize(nullptr);
    if (SUCCEEDED(hr)) {
        ::CoUninitialize();
    }
    return hr == S_OK;
}

class TaskSweepWine : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        registered_ = wine::RegisterLabScheduler(ExeDir() + L"labtaskschd.dll", library_);
    }
    static void TearDownTestSuite() { library_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(library_) << "labtaskschd.dll not found next to the test";
        ASSERT_EQ(S_OK, registered_) << "DllRegisterServer";
        RemoveTree(kTasksRoot);
        CreateDirectories(kTasksRoot);
        RemoveTree(kLab.substr(0, kLab.size() - 1));
    }

    Win32Platform machine;
    PayloadLedger ledger;
    static inline UniqueLibrary library_{LibraryTraits{}};
    static inline HRESULT registered_ = E_FAIL;
};

TEST_F(TaskSweepWine, EachRuleDeletesExactlyItsFiles) {
    const std::wstring user = test::kUserSid;
    // Script-host rule.
    PlantTask(
        L"Lab\\Scripts\\UserScript",
        TaskXml().UserId(user).Exec(kCscript, L"\"" + kPowerShellDir + L"hflab.vbs\"").Build());
    PlantTask(L"Lab\\Scripts\\SystemScript",
              TaskXml().UserId(L"S-1-5-18").Exec(kCscript, kPowerShellDir + L"hfsys.vbs").Build());
    PlantTask(L"Lab\\Scripts\\WScript",
              TaskXml().UserId(user).Exec(L"wscript.exe", kPowerShellDir + L"hfw.vbs").Build());
    PlantTask(L"Lab\\Scripts\\Capitals",
              TaskXml()
                  .UserId(user)
                  .Exec(kCscript, L"C:\\WINDOWS\\SYSTEM32\\WINDOWSPOWERSHELL\\HFCAP.VBS")
                  .Build());
    for (const wchar_t* name : {L"hflab.vbs", L"hfsys.vbs", L"hfw.vbs", L"hfcap.vbs"}) {
        PlantPlainFile(kPowerShellDir + name);
    }
    // PowerShell batch rule; the second action is not examined. Before it, in the same folder,
    // a loader action without a comma, which must not end the run.
    PlantTask(L"Lab\\Batch\\Ps",
              TaskXml()
                  .Exec(kPowerShellDir + L"hflab", L"/c \"" + kPowerShellDir + L"hflab\"")
                  .Exec(kRundll32, kLab + L"skip5678.dll,Qw3rty7890")
                  .Build());
    PlantTask(L"Lab\\Batch\\NoComma", TaskXml().Exec(kRundll32, kLab + L"mno45678.dll").Build());
    PlantPlainFile(kPowerShellDir + L"hflab.bat");
    PlantPlainFile(kLab + L"skip5678.dll");
    PlantPlainFile(kLab + L"mno45678.dll");
    // Loader name branch: a hidden task three folders below the root, a bare name.
    PlantTask(L"L1\\L2\\L3\\HiddenLoader",
              TaskXml().Hidden().Exec(kRundll32, L"abc12345.dll,Qw3rty7890").Build());
    PlantPlainFile(kSystem32 + L"abc12345.dll");
    if (UnderWow64()) {
        PlantPlainFile(kNativeSystem32 + L"abc12345.dll");  // another file: goes too
    }
    PlantPlainFile(kLab + L"abc12345.dll");  // the same name elsewhere: stays
    PlantTask(L"Lab\\Loader\\Branded",
              TaskXml().Exec(kRundll32, kLab + L"def45678.dll,Qw3rty7890").Build());
    CopyFixture(L"branded.dll", kLab + L"def45678.dll");
    PlantTask(L"Lab\\Loader\\Plain",
              TaskXml().Exec(kRundll32, kLab + L"ghi45678.dll,Qw3rty7890").Build());
    PlantPlainFile(kLab + L"ghi45678.dll");
    PlantTask(L"Lab\\Loader\\Quoted",
              TaskXml().Exec(kRundll32, L"\"" + kLab + L"a b\\jkl45678.dll\",Qw3rty7890").Build());
    PlantPlainFile(kLab + L"a b\\jkl45678.dll");
    PlantTask(L"Lab\\Loader\\Shell32",
              TaskXml().Exec(kRundll32, L"shell32.dll,Control_RunDLL").Build());
    // Loader version branch. On Wine a file's creation time is its last-write time: setting the
    // latter sets both.
    const struct {
        const wchar_t* name;
        const wchar_t* fixture;
        double ageHours;
    } aged[] = {
        {L"v-recent.dll", L"loader.dll", 14 * 24 + 23},  // 14 days 23 hours: deleted
        {L"v-old.dll", L"loader.dll", 15 * 24 + 1},      // over 15 days: stays
        {L"v-ahead.dll", L"loader.dll", -3 * 24},        // 3 days ahead: deleted
        {L"v-3880.dll", L"loader3880.dll", 24},          // 10.0.19041.3880: stays
        {L"v-named.dll", L"branded.dll", 24},            // has an OriginalFilename: stays
    };
    for (const auto& file : aged) {
        CopyFixture(file.fixture, kLab + file.name);
        SetAgeHours(kLab + file.name, file.ageHours);
        PlantTask(std::wstring(L"Lab\\Version\\") + file.name,
                  TaskXml().Exec(kRundll32, kLab + file.name + L",Start").Build());
    }
    PlantTask(L"Benign", TaskXml().UserId(user).Exec(L"notepad.exe", kLab + L"notes.txt").Build());
    PlantPlainFile(kLab + L"notes.txt");

    const auto tasksBefore = TaskFiles();
    const std::set<std::wstring> before = Inventory();
    ASSERT_TRUE(Exists(kSystem32 + L"shell32.dll"));

    ASSERT_NO_THROW(SweepScheduledTasks(machine.Get(), ledger));

    const std::set<std::wstring> after = Inventory();
    std::set<std::wstring> gone;
    for (const std::wstring& name : before) {
        if (after.count(name) == 0) {
            gone.insert(name);
        }
    }
    // Under WoW64 the bare name's two candidates are two files, each deleted; a 64-bit process has
    // no Sysnative, and its System32 is the native folder.
    std::set<std::wstring> expected = {
        UpperCase(kPowerShellDir + L"hflab.vbs"), UpperCase(kPowerShellDir + L"hflab.bat"),
        UpperCase(kSystem32 + L"abc12345.dll"),   UpperCase(kLab + L"ghi45678.dll"),
        UpperCase(kLab + L"a b\\jkl45678.dll"),   UpperCase(kLab + L"v-recent.dll"),
        UpperCase(kLab + L"v-ahead.dll"),
    };
    if (UnderWow64()) {
        expected.insert(UpperCase(kNativeSystem32 + L"abc12345.dll"));
    }
    EXPECT_EQ(Show(expected), Show(gone));
    EXPECT_EQ(before.size() - expected.size(), after.size()) << "no file appeared";
    EXPECT_TRUE(Exists(kSystem32 + L"shell32.dll"));
    EXPECT_TRUE(TaskFiles() == tasksBefore) << "task definitions changed";
    EXPECT_TRUE(ComLeftUninitialised());
}

// The infection can make its own files read-only, which Wine refuses to delete as Windows does:
// the attribute no longer keeps them. A script task whose first action names another account's
// file, its second running a script, deletes nothing.
TEST_F(TaskSweepWine, ReadOnlyPayloadsGoAndTheScriptRuleTakesOnlyItsOwnScript) {
    PlantTask(L"Lab\\ReadOnly\\Loader",
              TaskXml().Exec(kRundll32, L"ro345678.dll,Qw3rty7890").Build());
    PlantPlainFile(kSystem32 + L"ro345678.dll");
    PlantTask(L"Lab\\ReadOnly\\Script", TaskXml()
                                            .UserId(test::kUserSid)
                                            .Exec(kCscript, L"\"" + kPowerShellDir + L"hfro.vbs\"")
                                            .Build());
    PlantPlainFile(kPowerShellDir + L"hfro.vbs");
    for (const std::wstring& path : {kSystem32 + L"ro345678.dll", kPowerShellDir + L"hfro.vbs"}) {
        ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_FALSE(::DeleteFileW(path.c_str())) << "a read-only file is refused";
    }
    const std::wstring module = kLab + L"Admin\\WindowsPowerShell\\Modules\\X\\X.psm1";
    PlantPlainFile(module);
    PlantTask(L"Lab\\ReadOnly\\Steer", TaskXml()
                                           .UserId(test::kUserSid)
                                           .Exec(L"notepad.exe", L"\"" + module + L"\"")
                                           .Exec(kCscript, kPowerShellDir + L"other.vbs")
                                           .Build());

    ASSERT_NO_THROW(SweepScheduledTasks(machine.Get(), ledger));
    EXPECT_FALSE(Exists(kSystem32 + L"ro345678.dll")) << "the read-only bare-name payload";
    EXPECT_FALSE(Exists(kPowerShellDir + L"hfro.vbs")) << "the read-only script";
    EXPECT_TRUE(Exists(module)) << "another account's file named by the first action";
    EXPECT_TRUE(FindRemainingPayloads(machine.Get(), ledger).empty());
}

TEST_F(TaskSweepWine, ARefusedFolderEndsTheSweepWithItsDescription) {
    PlantTask(L"Lab\\A\\First",
              TaskXml().Exec(kRundll32, kLab + L"aaa45678.dll,Qw3rty7890").Build());
    PlantTask(L"Lab\\Refused\\Inside",
              TaskXml().Exec(kRundll32, kLab + L"rrr45678.dll,Qw3rty7890").Build());
    WriteNewFile(kTasksRoot + L"\\Lab\\Refused\\.hf-refuse",
                 "0x80070005 Lab scheduler: listing refused for \\Lab\\Refused.");
    PlantTask(L"Lab\\Z\\Last",
              TaskXml().Exec(kRundll32, kLab + L"zzz45678.dll,Qw3rty7890").Build());
    for (const wchar_t* name : {L"aaa45678.dll", L"rrr45678.dll", L"zzz45678.dll"}) {
        PlantPlainFile(kLab + name);
    }
    const auto tasksBefore = TaskFiles();

    try {
        SweepScheduledTasks(machine.Get(), ledger);
        ADD_FAILURE() << "the refused folder raised nothing";
    } catch (const EOleException& e) {
        EXPECT_EQ(static_cast<std::int32_t>(0x80070005), e.ErrorCode());
        EXPECT_EQ(L"Lab scheduler: listing refused for \\Lab\\Refused", e.Message());
    }
    EXPECT_FALSE(Exists(kLab + L"aaa45678.dll")) << "the folder before was swept";
    EXPECT_TRUE(Exists(kLab + L"rrr45678.dll"));
    EXPECT_TRUE(Exists(kLab + L"zzz45678.dll")) << "later folders are not visited";
    EXPECT_TRUE(TaskFiles() == tasksBefore);
    EXPECT_TRUE(ComLeftUninitialised());
}

TEST_F(TaskSweepWine, ARefusalWithoutDescriptionGivesTheSystemsText) {
    PlantTask(L"Lab\\Refused\\Inside", TaskXml().Exec(L"notepad.exe").Build());
    WriteNewFile(kTasksRoot + L"\\Lab\\Refused\\.hf-refuse", "0x80070005");
    const std::wstring systemText = SystemErrorText(*machine.Get().system, 0x80070005);
    ASSERT_FALSE(systemText.empty());
    try {
        SweepScheduledTasks(machine.Get(), ledger);
        ADD_FAILURE() << "the refused folder raised nothing";
    } catch (const EOleException& e) {
        EXPECT_EQ(systemText, e.Message());
    }
    EXPECT_TRUE(ComLeftUninitialised());
}

// A payload library loaded by the task's running loader cannot go during the run: it is renamed
// in its folder and that name is left to the restart as the system sees it (the 32-bit folder
// under WoW64); the restart (wineboot carrying out the pending list, the loader gone) deletes it
// and nothing else.
TEST_F(TaskSweepWine, ALoadedPayloadIsDeletedAtTheRestart) {
    const std::wstring payload = kSystem32 + L"ab12cd34.dll";
    CopyFixture(L"loader.dll", payload);
    PlantTask(L"Lab\\InUse\\Loader", TaskXml().Exec(kRundll32, L"ab12cd34.dll,Qw3rty7890").Build());
    PlantPlainFile(kLab + L"notes.txt");
    ClearPendingRenames();
    std::set<std::wstring> before = Inventory();

    StandInLoader loader(payload);
    ASSERT_TRUE(loader.Loaded()) << "the stand-in could not load " << Utf16ToUtf8(payload);
    ASSERT_NO_THROW(SweepScheduledTasks(machine.Get(), ledger));
    EXPECT_FALSE(Exists(payload)) << "renamed away";

    wchar_t wow64[MAX_PATH + 1]{};
    const std::wstring seen = UnderWow64() && ::GetSystemWow64DirectoryW(wow64, MAX_PATH) > 0
                                  ? std::wstring(wow64) + L"\\ab12cd34.dll"
                                  : payload;
    const auto pending = PendingRenames();
    ASSERT_EQ(1u, pending.size()) << "one entry, the Sysnative copy being no other file";
    EXPECT_TRUE(IsRenamedFrom(pending[0].first, seen))
        << Utf16ToUtf8(pending[0].first) << " (expected " << Utf16ToUtf8(seen) << ".<16 hex digits>"
        << (UnderWow64() ? ", WoW64)" : ", native)");
    EXPECT_EQ(L"", pending[0].second) << "a deletion, not a rename";
    EXPECT_TRUE(Exists(pending[0].first.substr(4))) << "the renamed library waits for the restart";

    loader.Kill();
    const std::wstring wineboot = kNativeSystem32 + L"wineboot.exe";
    ASSERT_EQ(0u, RunAndWait(wineboot.c_str(), L"wineboot.exe", 120000)) << "the simulated restart";
    EXPECT_FALSE(Exists(pending[0].first.substr(4))) << "the restart deleted the payload";
    EXPECT_TRUE(PendingRenames().empty()) << "the restart cleared the list";
    before.erase(UpperCase(payload));
    EXPECT_EQ(Show(before), Show(Inventory())) << "nothing else gone";
}

// A user's loaded payload is recorded under its new name. The user then empties the folder and
// turns it into a link to a folder that holds a file of the payload's old name (Unix symbolic
// link; on Windows a junction): the restart finds nothing of the recorded name there, and that
// file stays.
TEST_F(TaskSweepWine, AFolderTurnedIntoALinkBeforeTheRestartLeadsToNothing) {
    const std::wstring folder = kLab + L"inuse";
    const std::wstring payload = folder + L"\\ab12cd34.dll";
    const std::wstring elsewhere = kLab + L"elsewhere";
    CopyFixture(L"loader.dll", payload);
    PlantPlainFile(elsewhere + L"\\ab12cd34.dll");
    PlantTask(L"Lab\\InUse\\UserLoader",
              TaskXml().Exec(kRundll32, payload + L",Qw3rty7890").Build());
    ClearPendingRenames();

    StandInLoader loader(payload);
    ASSERT_TRUE(loader.Loaded());
    ASSERT_NO_THROW(SweepScheduledTasks(machine.Get(), ledger));
    const auto pending = PendingRenames();
    ASSERT_EQ(1u, pending.size());
    EXPECT_TRUE(IsRenamedFrom(pending[0].first, payload)) << Utf16ToUtf8(pending[0].first);
    EXPECT_FALSE(Exists(payload));

    loader.Kill();
    RemoveTree(folder);
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(folder.c_str())) << "emptied and gone";
    ASSERT_TRUE(MakeUnixLink(elsewhere, folder));
    ASSERT_TRUE(Exists(payload)) << "the old name now leads to the other file";
    const std::wstring wineboot = kNativeSystem32 + L"wineboot.exe";
    ASSERT_EQ(0u, RunAndWait(wineboot.c_str(), L"wineboot.exe", 120000)) << "the simulated restart";
    EXPECT_TRUE(Exists(elsewhere + L"\\ab12cd34.dll")) << "the file behind the link stays";
    EXPECT_TRUE(PendingRenames().empty());
}

// A pipe server listening under a name a task gives as its payload (the script-host, batch and
// loader rules) sees no client: such a path is passed over before any call that could connect.
TEST_F(TaskSweepWine, APipeNamedAsAPayloadSeesNoConnection) {
    const std::wstring pipes[] = {L"\\\\.\\pipe\\WindowsPowerShell\\hf.vbs",
                                  L"\\\\.\\pipe\\WindowsPowerShell\\HF.BAT",
                                  L"\\\\.\\pipe\\ab12cd34.dll"};
    struct Listening {
        UniqueFile pipe{FileTraits{}};
        UniqueKernelHandle event{KernelHandleTraits{}};
        OVERLAPPED overlapped{};
    };
    std::vector<std::unique_ptr<Listening>> servers;
    for (const std::wstring& name : pipes) {
        auto server = std::make_unique<Listening>();
        server->pipe.reset(::CreateNamedPipeW(name.c_str(),
                                              PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                              PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr));
        ASSERT_TRUE(server->pipe) << Utf16ToUtf8(name);
        server->event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        server->overlapped.hEvent = server->event.get();
        ASSERT_FALSE(::ConnectNamedPipe(server->pipe.get(), &server->overlapped));
        ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), ::GetLastError()) << Utf16ToUtf8(name);
        servers.push_back(std::move(server));
    }
    PlantTask(L"Lab\\Pipe\\Script", TaskXml()
                                        .UserId(test::kUserSid)
                                        .Exec(kCscript, L"\\\\.\\pipe\\WindowsPowerShell\\hf.vbs")
                                        .Build());
    PlantTask(L"Lab\\Pipe\\Batch",
              TaskXml()
                  .Exec(kPowerShellDir + L"hfpipe", L"/c \\\\.\\pipe\\WindowsPowerShell\\hf")
                  .Build());
    PlantTask(L"Lab\\Pipe\\Loader",
              TaskXml().Exec(kRundll32, L"\\\\.\\pipe\\ab12cd34.dll,Qw3rty7890").Build());
    PlantTask(L"Lab\\Pipe\\Version",
              TaskXml().Exec(kRundll32, L"\\\\.\\pipe\\ab12cd34.dll,Start").Build());

    ASSERT_NO_THROW(SweepScheduledTasks(machine.Get(), ledger));
    for (std::size_t i = 0; i < servers.size(); ++i) {
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
                  ::WaitForSingleObject(servers[i]->event.get(), 0))
            << "a client connected to " << Utf16ToUtf8(pipes[i]);
        ::CancelIo(servers[i]->pipe.get());
    }
}

// Bare names are bare: a field with '/' reaches nothing below System32, and a system library (it
// has an "OriginalFilename") named bare stays, as the version branch keeps one.
TEST_F(TaskSweepWine, BareNamesReachNoOtherSystemLibrary) {
    // System32\spool is exempt from WoW64 redirection: the same folder for either process.
    const std::wstring spooled = kSystem32 + L"spool\\drivers\\x64\\3\\hpcpp165.dll";
    PlantPlainFile(spooled);
    PlantTask(L"Lab\\Bare\\Slash",
              TaskXml().Exec(kRundll32, L"spool/drivers/x64/3/hpcpp165.dll,Qw3rty7890").Build());
    const std::wstring runtime = kSystem32 + L"hfrt1400.dll";
    CopyFixture(L"branded.dll", runtime);
    PlantTask(L"Lab\\Bare\\Runtime", TaskXml().Exec(kRundll32, L"hfrt1400.dll,Abcde12345").Build());
    PlantTask(L"Lab\\Bare\\Payload", TaskXml().Exec(kRundll32, L"ab12cd34.dll,Qw3rty7890").Build());
    PlantPlainFile(kSystem32 + L"ab12cd34.dll");

    ASSERT_NO_THROW(SweepScheduledTasks(machine.Get(), ledger));
    EXPECT_TRUE(Exists(spooled)) << Utf16ToUtf8(spooled);
    EXPECT_TRUE(Exists(runtime)) << Utf16ToUtf8(runtime);
    EXPECT_FALSE(Exists(kSystem32 + L"ab12cd34.dll")) << "the payload of the name's shape goes";
}

// Paths a task author steers, with ".." or through a link (a Unix symbolic link, which Wine
// shows as a redirected final path and no reparse attribute), leave their targets alone; a plain
// payload of the same sweep goes.
TEST_F(TaskSweepWine, SteeredPathsLeaveTheirTargetsAlone) {
    const std::wstring victims = kLab + L"victims\\";
    for (const wchar_t* name :
         {L"notes.txt", L"ab12cd34.dll", L"keep5678.dll", L"X.BAT", L"logon.vbs"}) {
        PlantPlainFile(victims + name);
    }
    const std::wstring linked = kLab + L"WindowsPowerShell";
    ASSERT_TRUE(MakeUnixLink(victims.substr(0, victims.size() - 1), linked));
    ASSERT_TRUE(MakeUnixLink(victims + L"keep5678.dll", kLab + L"cd34ab12.dll"));
    ASSERT_TRUE(Exists(linked + L"\\ab12cd34.dll")) << "the link leads to the victims";
    PlantTask(L"Lab\\Steer\\Parent",
              TaskXml()
                  .Exec(kRundll32,
                        L"C:\\ab12cd34.dll\\..\\Users\\Public\\hflab\\victims\\"
                        L"notes.txt,Qw3rty7890")
                  .Build());
    PlantTask(L"Lab\\Steer\\Folder",
              TaskXml().Exec(kRundll32, linked + L"\\ab12cd34.dll,Qw3rty7890").Build());
    PlantTask(L"Lab\\Steer\\File",
              TaskXml().Exec(kRundll32, kLab + L"cd34ab12.dll,Qw3rty7890").Build());
    PlantTask(L"Lab\\Steer\\Batch",
              TaskXml().Exec(kPowerShellDir + L"hfsteer", L"/c " + linked + L"\\x").Build());
    PlantTask(L"Lab\\Steer\\Script",
              TaskXml().UserId(test::kUserSid).Exec(kCscript, linked + L"\\logon.vbs").Build());
    PlantTask(L"Lab\\Steer\\Plain",
              TaskXml().Exec(kRundll32, kLab + L"ef56ab12.dll,Qw3rty7890").Build());
    PlantPlainFile(kLab + L"ef56ab12.dll");
    ClearPendingRenames();

    ASSERT_NO_THROW(SweepScheduledTasks(machine.Get(), ledger));

    for (const wchar_t* name :
         {L"notes.txt", L"ab12cd34.dll", L"keep5678.dll", L"X.BAT", L"logon.vbs"}) {
        EXPECT_TRUE(Exists(victims + name)) << Utf16ToUtf8(victims + name);
    }
    EXPECT_FALSE(Exists(kLab + L"ef56ab12.dll")) << "the plain payload goes";
    EXPECT_TRUE(PendingRenames().empty());
}

// The deletion itself, without the scheduler: a loaded library named through System32 is renamed
// and recorded as the system sees it (under WoW64 the 32-bit folder). A file held open without
// delete sharing keeps its name, so it is recorded only where no account but the trusted ones
// may change a folder above it; Wine makes the prefix's user owner of every folder, with full
// control, so here it is passed over (as in a user's folder on Windows).
TEST_F(TaskSweepWine, FilesInUseAreRecordedAsTheSystemSeesThem) {
    const std::wstring own = kSystem32 + L"cd12ab34.dll";
    const std::wstring native = kNativeSystem32 + L"ef12ab34.dll";
    CopyFixture(L"loader.dll", own);
    PlantPlainFile(native);
    ClearPendingRenames();
    StandInLoader loader(own);
    ASSERT_TRUE(loader.Loaded());
    const UniqueFile held(FileTraits{},
                          ::CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);

    EXPECT_EQ(PayloadDeletionResult::kScheduledAtRestart, DeletePayload(machine.Get(), own).result);
    // Held without delete sharing (32) in a folder its user can change: it stays. A 64-bit
    // process has no Sysnative at all.
    const PayloadOutcome stays =
        DeletePayload(machine.Get(), L"C:\\Windows\\Sysnative\\ef12ab34.dll");
    EXPECT_EQ(UnderWow64() ? PayloadDeletionResult::kKept : PayloadDeletionResult::kPassedOver,
              stays.result);
    EXPECT_EQ(UnderWow64() ? 32u : 0u, stays.error);
    wchar_t wow64[MAX_PATH + 1]{};
    const std::wstring seen = UnderWow64() && ::GetSystemWow64DirectoryW(wow64, MAX_PATH) > 0
                                  ? std::wstring(wow64) + L"\\cd12ab34.dll"
                                  : own;
    const auto pending = PendingRenames();
    ASSERT_EQ(1u, pending.size()) << (UnderWow64() ? "WoW64" : "native");
    EXPECT_TRUE(IsRenamedFrom(pending[0].first, seen))
        << Utf16ToUtf8(pending[0].first) << " (expected " << Utf16ToUtf8(seen) << ".<suffix>)";
    EXPECT_TRUE(Exists(pending[0].first.substr(4)) && Exists(native))
        << "nothing goes before the restart";
    ClearPendingRenames();
}

}  // namespace
}  // namespace hf
