#pragma once
// hfremove.exe as the Wine tests of tests/wine/app drive it: one process and its main window, the
// fixture that registers the lab's Task Scheduler first (Wine's own cannot list tasks, so without
// it the run fails in its first stage), and the lab's stand-in shutdown.exe in the system folder.

#include "tests/wine/app/WindowProbe.h"
#include "tests/wine/common/WineTestSupport.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace hf {

using namespace std::chrono_literals;

inline constexpr auto kRunTimeout = 120s;  // the whole cleaning run, up to its question

// One hfremove.exe process and its main window: the build's own, or `exe` started in
// `currentDirectory`.
class App {
  public:
    App() : App(wine::FromUnixPath(HF_APP_EXE), L"") {}
    App(const std::wstring& exe, const std::wstring& currentDirectory) {
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              currentDirectory.empty() ? nullptr : currentDirectory.c_str(),
                              &startup, &info)) {
            ADD_FAILURE() << "CreateProcessW failed with " << ::GetLastError();
            return;
        }
        process_.reset(info.hProcess);
        thread_.reset(info.hThread);
        processId_ = info.dwProcessId;
        ::WaitForInputIdle(process_.get(), 10000);
        window_ = probe::WaitForWindow(
            [this] { return probe::FindTopLevel(processId_, L"TForm1", nullptr); }, 15s);
    }
    ~App() {
        if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.get(), 99);
        }
    }

    HWND Window() const { return window_; }
    HWND Child(const wchar_t* className) const {
        return ::FindWindowExW(window_, nullptr, className, nullptr);
    }
    HWND WaitForDialog(const wchar_t* caption, std::chrono::milliseconds timeout) const {
        return probe::WaitForWindow(
            [&] { return probe::FindTopLevel(processId_, L"#32770", caption); }, timeout);
    }
    // Any message box or dialog of the process, whatever its caption (for failure messages).
    std::string OpenDialogs() const {
        std::string text;
        for (HWND w = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w != nullptr;
             w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(w, &owner);
            if (owner == processId_) {
                text += " [" + probe::Narrow(probe::Text(w)) + ":";
                for (const probe::ChildInfo& c : probe::Children(w)) {
                    text += " " + probe::Narrow(c.text);
                }
                text += "]";
            }
        }
        return text.empty() ? " none" : text;
    }
    int ProgressPosition() const {
        LRESULT position = -1;
        if (!probe::SendWithTimeout(Child(PROGRESS_CLASSW), PBM_GETPOS, 0, 0, position)) {
            return -1;
        }
        return static_cast<int>(position);
    }
    // Waits for the process to end; its exit code, or -1 when it is still running.
    long WaitForExit(std::chrono::milliseconds timeout) const {
        if (::WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) !=
            WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_.get(), &code);
        return static_cast<long>(code);
    }

  private:
    UniqueKernelHandle process_;
    UniqueKernelHandle thread_;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
};

inline HWND ButtonOf(HWND dialog, const wchar_t* caption) {
    return ::FindWindowExW(dialog, nullptr, L"Button", caption);
}

// The system folder as this process names it (for the product of the same bitness, the folder
// its GetSystemDirectoryW names too).
inline std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length < MAX_PATH ? length : 0);
}

// Puts the lab's stand-in shutdown.exe (it records its arguments in shutdown-calls.txt beside
// itself instead of restarting) into the system folder, where Wine prefers its built-in program
// unless told otherwise; returns the path of the record, removed first.
inline std::wstring InstallStandInShutdown() {
    const std::wstring system32 = SystemFolder();
    const std::wstring calls = system32 + L"\\shutdown-calls.txt";
    EXPECT_TRUE(::CopyFileW(wine::FromUnixPath(HF_APP_LAB_SHUTDOWN).c_str(),
                            (system32 + L"\\shutdown.exe").c_str(), FALSE))
        << "placing the stand-in shutdown.exe: " << ::GetLastError();
    const wchar_t native[] = L"native";
    EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"shutdown.exe",
                                REG_SZ, native, sizeof native),
              ERROR_SUCCESS);
    ::DeleteFileW(calls.c_str());
    return calls;
}

// Registers the lab's scheduler for the suite, which lists the prefix's (absent) tasks, so the
// run goes through to its question; puts Wine's own back afterwards, whose failure another suite
// relies on (the suites of several files run in no fixed order).
class AppWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        UniqueLibrary scheduler;
        registered_ = wine::RegisterLabScheduler(wine::ExeDir() + L"labtaskschd.dll", scheduler);
    }
    static void TearDownTestSuite() {
        const UniqueLibrary scheduler(
            LibraryTraits{}, ::LoadLibraryW((wine::ExeDir() + L"labtaskschd.dll").c_str()));
        using Unregister = HRESULT(WINAPI*)();
        if (const auto unregister = GetProcedure<Unregister>(scheduler.get(), "DllUnregisterServer")) {
            unregister();
        }
    }
    void SetUp() override { ASSERT_EQ(registered_, S_OK) << "registering labtaskschd.dll"; }

    static inline HRESULT registered_ = E_FAIL;
};

}  // namespace hf
