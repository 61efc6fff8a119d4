// Files someone else put beside hfremove.exe or in its current directory (a browser's automatic
// download, or the infection itself, which runs as the user) never run inside it: marker
// libraries named like every library the process loads that is not a KnownDLL (the C runtime's
// start-up included: the stack protector's CryptoAPI provider and what it imports), loaded
// native-first as Windows loads such a library, stay unloaded from the start to the restart
// question and the reminder, and in the runs that end without the window; a planted shutdown.exe
// never runs, the system folder's does.

#include "app/core/CleaningRun.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/VersionWin32.h"
#include "tests/unit/tasks/TaskXml.h"
#include "tests/wine/app/AppProcess.h"
#include "tests/wine/common/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hf {
namespace {

const std::wstring kAppFolder = L"C:\\plant\\app";
const std::wstring kCurrentFolder = L"C:\\plant\\cwd";
const wchar_t kOverrides[] = L"Software\\Wine\\AppDefaults\\hfremove.exe\\DllOverrides";

std::vector<std::wstring> MarkerNames() {
    std::vector<std::wstring> names;
    std::wstring name;
    for (const char* c = HF_APP_MARKERS;; ++c) {
        if (*c == ',' || *c == '\0') {
            names.push_back(name + L".dll");
            name.clear();
            if (*c == '\0') {
                return names;
            }
        } else {
            name += static_cast<wchar_t>(*c);
        }
    }
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The markers and the stand-in shutdown.exe (which records its calls beside itself) in both
// folders, hfremove.exe in the first; Wine told to prefer the planted libraries, as Windows
// prefers a copy in the program's folder to the system's for a library outside the KnownDLLs.
// Not version.dll: Wine's own user32 imports it when the process starts, so native-first a
// planted copy would load whatever the program does; the program's part is its import table,
// which scripts/test checks.
void Plant() {
    const std::wstring markers = wine::FromUnixPath(HF_APP_PLANT_DIR) + L"\\";
    for (const std::wstring& folder : {kAppFolder, kCurrentFolder}) {
        wine::CreateDirectories(folder);
        for (const std::wstring& name : MarkerNames()) {
            ASSERT_TRUE(
                ::CopyFileW((markers + name).c_str(), (folder + L"\\" + name).c_str(), FALSE))
                << Utf16ToUtf8(name) << ": " << ::GetLastError();
            ::DeleteFileW((folder + L"\\" + name + L".loaded").c_str());
        }
        ASSERT_TRUE(::CopyFileW(wine::FromUnixPath(HF_APP_LAB_SHUTDOWN).c_str(),
                                (folder + L"\\shutdown.exe").c_str(), FALSE));
        ::DeleteFileW((folder + L"\\shutdown-calls.txt").c_str());
    }
    ASSERT_TRUE(::CopyFileW(wine::FromUnixPath(HF_APP_EXE).c_str(),
                            (kAppFolder + L"\\hfremove.exe").c_str(), FALSE));
    const wchar_t nativeFirst[] = L"native,builtin";
    for (const std::wstring& name : MarkerNames()) {
        if (name != L"version.dll") {
            const std::wstring stem = name.substr(0, name.size() - 4);
            ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kOverrides, stem.c_str(), REG_SZ,
                                        nativeFirst, sizeof nativeFirst),
                      ERROR_SUCCESS);
        }
    }
}

// What of the planted files ran: each marker that was loaded, each planted shutdown.exe that was
// started.
std::string PlantedThatRan() {
    std::string ran;
    for (const std::wstring& folder : {kAppFolder, kCurrentFolder}) {
        for (const std::wstring& name : MarkerNames()) {
            if (Exists(folder + L"\\" + name + L".loaded")) {
                ran += " " + Utf16ToUtf8(folder + L"\\" + name);
            }
        }
        if (Exists(folder + L"\\shutdown-calls.txt")) {
            ran += " " + Utf16ToUtf8(folder + L"\\shutdown.exe");
        }
    }
    return ran;
}

// A suite of its own, so that the ring can run it alone (tests/wine/app/CMakeLists.txt).
class Planting : public AppWindow {};

// hfremove.exe from the planted folder with `arguments`, in the other planted folder, run to its
// end; its exit code, or -1 when it did not end within a minute.
long RunToItsEnd(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + kAppFolder + L"\\hfremove.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          kCurrentFolder.c_str(), &startup, &started)) {
        ADD_FAILURE() << "CreateProcessW failed with " << ::GetLastError();
        return -1;
    }
    const UniqueKernelHandle process(KernelHandleTraits{}, started.hProcess);
    const UniqueKernelHandle thread(KernelHandleTraits{}, started.hThread);
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(process.get(), 60'000) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.get(), &code)) {
        ::TerminateProcess(process.get(), 99);
        return -1;
    }
    return static_cast<long>(code);
}

TEST_F(Planting, NothingPlantedBesideItOrInItsCurrentDirectoryRunsInsideIt) {
    ASSERT_NO_FATAL_FAILURE(Plant());
    // One benign task, so the sweep reads a definition: MSXML and the libraries it loads (mpr,
    // wininet, urlmon) are loaded too. The lab scheduler keeps tasks in the native System32.
    const std::wstring task = wine::NativeSystem32() + L"Tasks\\hfPlantingProbe";
    ASSERT_NO_FATAL_FAILURE(wine::WriteNewFile(
        task,
        wine::Utf16FileBytes(test::TaskXml().UserId(L"S-1-5-18").Exec(L"notepad.exe").Build())));
    const std::wstring systemCalls = InstallStandInShutdown();
    ASSERT_FALSE(HasFailure());

    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "answer Yes" : "answer No");
        App app(kAppFolder + L"\\hfremove.exe", kCurrentFolder);
        HWND window = app.Window();
        ASSERT_NE(window, nullptr) << "no window; planted that ran:" << PlantedThatRan();
        // Once one has run, the rest of the run proves nothing more (and its stubs abort).
        ASSERT_EQ(PlantedThatRan(), "") << "at start";

        ::PostMessageW(app.Child(L"Button"), BM_CLICK, 0, 0);
        HWND question = app.WaitForDialog(L"Information", kRunTimeout);
        ASSERT_NE(question, nullptr) << "no question; open:" << app.OpenDialogs();
        EXPECT_EQ(PlantedThatRan(), "") << "at the restart question";

        if (!yes) {
            ::PostMessageW(ButtonOf(question, L"&No"), BM_CLICK, 0, 0);
            HWND reminder = app.WaitForDialog(L"hfremove", 30s);
            ASSERT_NE(reminder, nullptr) << "no reminder; open:" << app.OpenDialogs();
            EXPECT_EQ(PlantedThatRan(), "") << "at the reminder";
            ::PostMessageW(ButtonOf(reminder, L"OK"), BM_CLICK, 0, 0);
            EXPECT_EQ(app.WaitForExit(10s), 0);
            continue;
        }
        ::PostMessageW(ButtonOf(question, L"&Yes"), BM_CLICK, 0, 0);
        const bool started =
            probe::WaitForWindow([&] { return Exists(systemCalls) ? window : nullptr; }, 30s) !=
            nullptr;
        EXPECT_TRUE(started) << "the system folder's shutdown.exe did not run; planted that ran:"
                             << PlantedThatRan();
        EXPECT_NE(wine::ReadFileBytes(systemCalls).find("-r -t 00"), std::string::npos)
            << wine::ReadFileBytes(systemCalls);
        ::Sleep(1000);  // time for a second, planted, start to show
        EXPECT_EQ(PlantedThatRan(), "") << "after Yes";
        ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(app.WaitForExit(10s), 0);
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\hfremove.exe");
    ::DeleteFileW(task.c_str());
}

// The runs that end without the window start like every other: the C runtime's constructors
// before wWinMain. A bad option ends at once with no box, with /quiet or without.
TEST_F(Planting, NorInTheRunsThatEndWithoutTheWindow) {
    struct Case {
        const wchar_t* arguments;
        long exitCode;
    };
    for (const Case c :
         {Case{L"/quiet /?", 0}, Case{L"/quiet /quite", 1639}, Case{L"/quite", 1639}}) {
        SCOPED_TRACE(Utf16ToUtf8(c.arguments));
        ASSERT_NO_FATAL_FAILURE(Plant());
        EXPECT_EQ(RunToItsEnd(c.arguments), c.exitCode);
        EXPECT_EQ(PlantedThatRan(), "");
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\hfremove.exe");
}

// The loader policy on its own: a library that exists only beside the program (the lab's
// scheduler beside this test) is not found; the version backend without its library fails each
// call the Windows way instead of crashing, and says why.
TEST(SystemLibrary, TakesNothingFromBesideTheProgramAndAMissingOneFailsTheWindowsWay) {
    ASSERT_TRUE(Exists(wine::ExeDir() + L"labtaskschd.dll"));
    ::SetLastError(0);
    EXPECT_FALSE(LoadSystemLibrary(L"labtaskschd.dll")) << "taken from beside the program";
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(LoadSystemLibrary(L"version.dll"));

    const std::wstring kernel32 = SystemFolder() + L"\\kernel32.dll";
    struct Case {
        const wchar_t* library;
        std::uint32_t error;
    };
    for (const Case c : {Case{L"labtaskschd.dll", ERROR_MOD_NOT_FOUND},
                         Case{L"user32.dll", ERROR_PROC_NOT_FOUND}, Case{L"version.dll", 0}}) {
        SCOPED_TRACE(Utf16ToUtf8(c.library));
        Win32VersionApi version(c.library);
        EXPECT_EQ(version.LoadError(), c.error);
        ::SetLastError(0);
        const std::uint32_t size = version.GetFileVersionInfoSizeW(kernel32);
        if (c.error == 0) {
            EXPECT_GT(size, 0u) << "kernel32.dll has a version resource";
            continue;
        }
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(::GetLastError(), c.error);
        std::uint8_t block[64] = {};
        ::SetLastError(0);
        EXPECT_FALSE(version.GetFileVersionInfoW(kernel32, sizeof block, block));
        EXPECT_EQ(::GetLastError(), c.error);
        const void* value = nullptr;
        std::uint32_t length = 0;
        EXPECT_FALSE(version.VerQueryValueW(block, L"\\", value, length));
        EXPECT_EQ(::GetLastError(), c.error);
    }
}

}  // namespace
}  // namespace hf
