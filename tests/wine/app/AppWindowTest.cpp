// hfremove.exe itself, driven from this process by window messages, as a user would drive it.
// The ring runs the i686 build under WoW64 where the machine runs 32-bit code, else the x86-64
// build of the same sources. The stages run for real in the throwaway prefix and find nothing to
// remove there.

#include "app/core/CleaningRun.h"
#include "platform/Services.h"
#include "platform/win32/ServicesWin32.h"
#include "app/win32/GdiHandles.h"
#include "platform/win32/Win32Handles.h"
#include "tests/wine/app/AppProcess.h"
#include "tests/wine/app/WindowProbe.h"
#include "tests/wine/common/WineTestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <chrono>
#include <string>

namespace hf {
namespace {

using namespace std::chrono_literals;
using probe::ChildInfo;
using probe::FindChild;
using probe::Narrow;

std::wstring ScreenshotPath(const wchar_t* name) {
    ::CreateDirectoryW(wine::FromUnixPath(HF_APP_SCREENSHOT_DIR).c_str(), nullptr);
    return wine::FromUnixPath(HF_APP_SCREENSHOT_DIR) + L"\\" + name;
}

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + ")";
}

int PixelsAt96(int designValue) {
    UniqueWindowDc screen = GetWindowDc(nullptr);
    return ::MulDiv(designValue, ::GetDeviceCaps(screen.get(), LOGPIXELSY), 96);
}

void ExpectCentredOnScreen(HWND dialog) {
    RECT rect{};
    ::GetWindowRect(dialog, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const long dx = (rect.left + rect.right) / 2 - (work.left + work.right) / 2;
    const long dy = (rect.top + rect.bottom) / 2 - (work.top + work.bottom) / 2;
    EXPECT_LE(std::labs(dx), 2) << "dialog " << Describe(rect) << " work area " << Describe(work);
    EXPECT_LE(std::labs(dy), 2) << "dialog " << Describe(rect) << " work area " << Describe(work);
}

// The restart question: its form, texts, buttons, focus and modality.
void CheckQuestion(HWND dialog, HWND mainWindow) {
    EXPECT_EQ(::GetWindow(dialog, GW_OWNER), mainWindow) << "the question belongs to the window";
    EXPECT_FALSE(::IsWindowEnabled(mainWindow)) << "the window takes no input while it asks";
    const std::vector<ChildInfo> children = probe::Children(dialog);
    const std::string all = probe::Describe(children);
    EXPECT_NE(FindChild(children, L"Static", kRestartQuestion), nullptr) << "children:" << all;
    const ChildInfo* yes = FindChild(children, L"Button", L"&Yes");
    const ChildInfo* no = FindChild(children, L"Button", L"&No");
    ASSERT_NE(yes, nullptr) << "children:" << all;
    ASSERT_NE(no, nullptr) << "children:" << all;
    EXPECT_LT(yes->bounds.left, no->bounds.left) << "Yes comes before No";
    EXPECT_EQ(::GetDlgCtrlID(yes->handle), kIdYes);
    EXPECT_EQ(::GetDlgCtrlID(no->handle), kIdNo);
    EXPECT_EQ(probe::FocusOfThreadOf(dialog), yes->handle) << "Yes is the default button";
    EXPECT_EQ(probe::VisibleButtons(children), 2) << "children:" << all;
    EXPECT_TRUE(probe::HasVisibleIcon(children)) << "the information icon; children:" << all;
    ExpectCentredOnScreen(dialog);
}

// The plain message box: application title, the text, one OK, no icon.
HWND CheckMessageBox(const App& app, const std::wstring& text) {
    HWND box = app.WaitForDialog(L"hfremove", 30s);
    EXPECT_NE(box, nullptr) << "no message box captioned hfremove; open:" << app.OpenDialogs();
    if (box == nullptr) {
        return nullptr;
    }
    const std::vector<ChildInfo> children = probe::Children(box);
    const std::string all = probe::Describe(children);
    EXPECT_NE(FindChild(children, L"Static", text), nullptr) << "children:" << all;
    const ChildInfo* ok = FindChild(children, L"Button", L"OK");
    EXPECT_NE(ok, nullptr) << "children:" << all;
    EXPECT_EQ(probe::VisibleButtons(children), 1) << "children:" << all;
    EXPECT_FALSE(probe::HasVisibleIcon(children)) << "children:" << all;
    if (ok != nullptr) {
        EXPECT_EQ(probe::FocusOfThreadOf(box), ok->handle) << "OK is the default button";
    }
    ExpectCentredOnScreen(box);
    return box;
}

// MAINICON: one 32 x 32 image with 32-bit colour.
void ExpectMainIcon() {
    UniqueLibrary exe(LibraryTraits{},
                      ::LoadLibraryExW(wine::FromUnixPath(HF_APP_EXE).c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(exe) << "cannot open hfremove.exe as data: " << ::GetLastError();
    HRSRC group = ::FindResourceW(exe.get(), L"MAINICON", RT_GROUP_ICON);
    ASSERT_NE(group, nullptr) << "no MAINICON";
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
    struct GroupHeader {
        WORD reserved, type, count;
    };
#pragma pack(pop)
    const auto* header =
        static_cast<const GroupHeader*>(::LockResource(::LoadResource(exe.get(), group)));
    ASSERT_NE(header, nullptr);
    ASSERT_EQ(header->count, 1) << "one image";
    const auto* entry = reinterpret_cast<const GroupEntry*>(header + 1);
    EXPECT_EQ(entry->width, 32);
    EXPECT_EQ(entry->height, 32);
    EXPECT_EQ(entry->bitCount, 32);
}

// Wine 8's own Task Scheduler cannot count a folder's tasks (E_NOTIMPL), so with it the first
// stage fails as a refusing scheduler would on Windows: the error path, for real.
TEST(AppWindowFailure, FailingFirstStageShowsTheErrorAtZeroAndStartRepeatsIt) {
    App app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    HWND start = app.Child(L"Button");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ::PostMessageW(start, BM_CLICK, 0, 0);
        HWND box = app.WaitForDialog(L"hfremove", kRunTimeout);
        ASSERT_NE(box, nullptr) << "no error box; open:" << app.OpenDialogs();
        EXPECT_EQ(app.WaitForDialog(L"Information", 0ms), nullptr) << "no question after an error";
        EXPECT_EQ(app.ProgressPosition(), 0) << "the bar stays where the failed stage found it";
        std::wstring text;
        for (const ChildInfo& c : probe::Children(box)) {
            if (_wcsicmp(c.className.c_str(), L"Static") == 0 && !c.text.empty()) {
                text = c.text;
            }
        }
        const std::wstring prefix = kErrorPrefix;
        EXPECT_EQ(text.substr(0, prefix.size()), prefix) << "text: " << Narrow(text);
        EXPECT_GT(text.size(), prefix.size()) << "the stage's message follows the prefix";
        EXPECT_EQ(::GetWindow(box, GW_OWNER), window);
        if (run == 1) {
            ::Sleep(300);
            EXPECT_GT(probe::SaveScreenshot(box, ScreenshotPath(L"error-box.bmp")), 2);
        }
        ::PostMessageW(ButtonOf(box, L"OK"), BM_CLICK, 0, 0);
        EXPECT_EQ(app.WaitForExit(1500ms), -1) << "the window stays open after the error box";
        EXPECT_TRUE(::IsWindowEnabled(window)) << "back at Idle";
    }
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(app.WaitForExit(10s), 0);
}

// The remaining tests register the lab's scheduler (the AppWindow fixture, AppProcess.h), which
// lists the prefix's (absent) tasks, so the run goes through to its question.
TEST_F(AppWindow, OpensIdleWithTheDesignedLayoutAndClosesWithoutQuestions) {
    App app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr) << "no TForm1 window";

    EXPECT_EQ(probe::Text(window), L" ") << "caption of one blank";
    RECT client{};
    ::GetClientRect(window, &client);
    // Wine's screen here is 96 dpi; elsewhere the layout scales with it.
    EXPECT_EQ(client.right, PixelsAt96(290));
    EXPECT_EQ(client.bottom, PixelsAt96(141));
    const LONG style = ::GetWindowLongW(window, GWL_STYLE);
    for (LONG bit : {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX}) {
        EXPECT_EQ(style & bit, bit) << "style bit " << std::hex << bit;
    }
    EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr) << "the window owns its taskbar button";
    EXPECT_NE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    // Wine gives no class data of another process's window (GetClassLongPtr answers 0), so the
    // background is read off the screen and the icon off the program file.
    POINT inside{3, 3};
    ::ClientToScreen(window, &inside);
    {
        UniqueWindowDc screen = GetWindowDc(nullptr);
        EXPECT_EQ(::GetPixel(screen.get(), inside.x, inside.y), ::GetSysColor(COLOR_BTNFACE))
            << "the button-face colour";
    }
    ExpectMainIcon();

    const std::vector<ChildInfo> children = probe::Children(window);
    ASSERT_EQ(children.size(), 2u);
    // Tab order: the button first, then the bar.
    const ChildInfo& start = children[0];
    const ChildInfo& bar = children[1];
    EXPECT_EQ(_wcsicmp(start.className.c_str(), L"Button"), 0) << Narrow(start.className);
    EXPECT_EQ(start.text, L"시작");
    EXPECT_EQ(Describe(start.bounds), Describe(RECT{PixelsAt96(96), PixelsAt96(77),
                                                    PixelsAt96(96 + 105), PixelsAt96(77 + 49)}));
    EXPECT_EQ(_wcsicmp(bar.className.c_str(), PROGRESS_CLASSW), 0) << Narrow(bar.className);
    EXPECT_EQ(Describe(bar.bounds), Describe(RECT{PixelsAt96(24), PixelsAt96(32),
                                                  PixelsAt96(24 + 253), PixelsAt96(32 + 39)}));
    EXPECT_EQ(probe::FocusOfThreadOf(window), start.handle) << "the button holds the focus";
    EXPECT_EQ(app.ProgressPosition(), 0);
    LRESULT high = 0;
    ASSERT_TRUE(probe::SendWithTimeout(bar.handle, PBM_GETRANGE, FALSE, 0, high));
    LRESULT low = -1;
    ASSERT_TRUE(probe::SendWithTimeout(bar.handle, PBM_GETRANGE, TRUE, 0, low));
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 100);

    ::Sleep(300);
    const std::wstring shot = ScreenshotPath(L"main-window.bmp");
    EXPECT_GT(probe::SaveScreenshot(window, shot), 2) << "a picture of the window";

    // The close box at Idle ends the program without a question.
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(app.WaitForExit(10s), 0) << "open:" << app.OpenDialogs();
}

TEST_F(AppWindow, StartRunsToTheQuestionAndNoShowsTheReminderThenEnds) {
    App app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    HWND start = app.Child(L"Button");
    ::PostMessageW(start, BM_CLICK, 0, 0);

    HWND question = app.WaitForDialog(L"Information", kRunTimeout);
    ASSERT_NE(question, nullptr) << "no question; open:" << app.OpenDialogs();
    EXPECT_EQ(app.ProgressPosition(), 100);
    CheckQuestion(question, window);
    ::Sleep(300);
    EXPECT_GT(probe::SaveScreenshot(question, ScreenshotPath(L"question.bmp")), 2);
    EXPECT_GT(probe::SaveScreenshot(window, ScreenshotPath(L"main-window-at-100.bmp")), 2);

    ::PostMessageW(ButtonOf(question, L"&No"), BM_CLICK, 0, 0);
    HWND reminder = CheckMessageBox(app, kRestartReminder);
    ASSERT_NE(reminder, nullptr);
    EXPECT_FALSE(::IsWindow(question)) << "the question is gone";
    ::Sleep(300);
    EXPECT_GT(probe::SaveScreenshot(reminder, ScreenshotPath(L"reminder.bmp")), 2);

    ::PostMessageW(ButtonOf(reminder, L"OK"), BM_CLICK, 0, 0);
    EXPECT_EQ(app.WaitForExit(10s), 0) << "open:" << app.OpenDialogs();
}

// The keyboard: Enter or Space on the focused button starts the run; Escape or the question's
// close box is not Yes; Enter dismisses the reminder.
TEST_F(AppWindow, KeyboardStartsTheRunAndEscapeOrCloseIsNotYes) {
    struct Case {
        const char* name;
        WPARAM startKey;
        bool closeBox;  // dismiss the question with its close box rather than Escape
    };
    for (const Case& c : {Case{"Enter, then Escape", VK_RETURN, false},
                          Case{"Space, then the close box", VK_SPACE, true}}) {
        SCOPED_TRACE(c.name);
        App app;
        HWND window = app.Window();
        ASSERT_NE(window, nullptr);
        HWND start = app.Child(L"Button");
        ::PostMessageW(start, WM_KEYDOWN, c.startKey, 0);
        ::PostMessageW(start, WM_KEYUP, c.startKey, static_cast<LPARAM>(0xC0000000));

        HWND question = app.WaitForDialog(L"Information", kRunTimeout);
        ASSERT_NE(question, nullptr) << "no question; open:" << app.OpenDialogs();
        if (c.closeBox) {
            ::PostMessageW(question, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            HWND focus = probe::FocusOfThreadOf(question);
            ::PostMessageW(focus != nullptr ? focus : question, WM_KEYDOWN, VK_ESCAPE, 0);
            // Wine 8's task dialog ignores Escape without a Cancel button (Windows honours
            // TDF_ALLOW_DIALOG_CANCELLATION); there the close box ends it instead.
            ::Sleep(1000);
            if (::IsWindow(question)) {
                ::PostMessageW(question, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
        }

        HWND reminder = CheckMessageBox(app, kRestartReminder);
        ASSERT_NE(reminder, nullptr);
        HWND ok = probe::FocusOfThreadOf(reminder);
        ::PostMessageW(ok != nullptr ? ok : reminder, WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_EQ(app.WaitForExit(10s), 0) << "open:" << app.OpenDialogs();
    }
}

// Runs a program of the prefix to its end, without a console window; its exit code.
long RunToEnd(const std::wstring& commandLine) {
    return static_cast<long>(wine::RunAndWait(nullptr, commandLine, 60'000, CREATE_NO_WINDOW));
}

// The state of a service as the manager reports it; 0 when it cannot be queried.
std::uint32_t ServiceState(const std::wstring& name) {
    Win32ServiceApi services;
    const UniqueScHandle manager(ScHandleTraits{&services},
                                 services.OpenSCManagerW(nullptr, nullptr, svc::kScManagerConnect));
    const UniqueScHandle service(
        ScHandleTraits{&services},
        manager ? services.OpenServiceW(manager.get(), name, svc::kServiceQueryStatus) : 0);
    ServiceStatus status;
    return service && services.QueryServiceStatus(service.get(), status) ? status.dwCurrentState
                                                                         : 0;
}

bool WaitForServiceState(const std::wstring& name, std::uint32_t state,
                         std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (ServiceState(name) != state) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        ::Sleep(50);
    }
    return true;
}

// One key pressed and released, through the system's input path as a keyboard would deliver it
// to the foreground window's thread (not a posted message).
void PressKey(WORD key) {
    INPUT inputs[2]{};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = key;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(::SendInput(2, inputs, sizeof(INPUT)), 2u) << "SendInput: " << ::GetLastError();
}

bool BringToFront(HWND window) {
    ::SetForegroundWindow(window);
    return probe::WaitForWindow(
               [window] { return ::GetForegroundWindow() == window ? window : nullptr; }, 10s) !=
           nullptr;
}

// Keys typed ahead while the stages run (the user's double Enter) must not answer the question;
// a key pressed while it shows does. RegGuardSvc here is the lab's guard started "--stuck": it
// accepts the stop and stays STOP_PENDING, so the run spends its 30 s stop bound in stage 2
// and the keys certainly reach the window while it works. shutdown.exe is the lab's stand-in,
// which records its arguments instead of restarting. Both sit in this process's System32,
// which is the one the product of the same bitness sees.
TEST_F(AppWindow, KeysTypedDuringTheRunDoNotAnswerTheQuestionButAKeyPressedThenDoes) {
    const std::wstring calls = InstallStandInShutdown();
    ASSERT_FALSE(HasFailure());

    const std::wstring guard = L"RegGuardSvc";
    ASSERT_EQ(RunToEnd(L"sc create " + guard + L" binPath= \"\\\"" +
                       wine::FromUnixPath(HF_APP_LAB_GUARD) + L"\\\" --stuck\""),
              0);
    ASSERT_EQ(RunToEnd(L"sc start " + guard), 0);
    ASSERT_TRUE(WaitForServiceState(guard, svc::kRunning, 30s)) << "the guard did not start";

    App app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(BringToFront(window)) << "the window must be foreground to get the keys";

    // Enter twice, 80 ms apart: the first starts the run; the second, and more keys typed while
    // the run waits on the guard, queue up for the window.
    PressKey(VK_RETURN);
    ::Sleep(80);
    PressKey(VK_RETURN);
    ASSERT_TRUE(WaitForServiceState(guard, svc::kStopPending, 30s)) << "the run did not start";
    PressKey(VK_SPACE);
    PressKey(VK_RETURN);
    PressKey('Y');

    HWND question = app.WaitForDialog(L"Information", kRunTimeout);
    ASSERT_NE(question, nullptr) << "no question; open:" << app.OpenDialogs();
    // Given every chance to take a queued key, it still waits, and nothing was started.
    ::Sleep(3000);
    EXPECT_TRUE(::IsWindow(question) && ::IsWindowVisible(question))
        << "a key typed during the run answered the question";
    EXPECT_EQ(::GetFileAttributesW(calls.c_str()), INVALID_FILE_ATTRIBUTES)
        << "shutdown.exe was started: " << wine::ReadFileBytes(calls);
    EXPECT_EQ(app.WaitForDialog(L"hfremove", 0ms), nullptr) << "no reminder either";
    ASSERT_TRUE(::IsWindow(question));

    // Enter pressed while the question shows answers it: Yes, its default.
    ASSERT_TRUE(BringToFront(question)) << "the question is not foreground";
    PressKey(VK_RETURN);
    const bool started =
        probe::WaitForWindow(
            [&] {
                return ::GetFileAttributesW(calls.c_str()) != INVALID_FILE_ATTRIBUTES ? window
                                                                                      : nullptr;
            },
            30s) != nullptr;
    ASSERT_TRUE(started) << "Enter on the question did not start shutdown.exe; open:"
                         << app.OpenDialogs();
    EXPECT_NE(wine::ReadFileBytes(calls).find("-r -t 00"), std::string::npos) << wine::ReadFileBytes(calls);
    EXPECT_FALSE(::IsWindow(question));
    EXPECT_EQ(app.WaitForExit(1000ms), -1) << "after Yes the window stays open";
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(app.WaitForExit(10s), 0) << "open:" << app.OpenDialogs();
}

}  // namespace
}  // namespace hf
