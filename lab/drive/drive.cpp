// labdrive: runs hfremove.exe and works its window from this second process, the way a user
// would: Start, then the restart question, then the reminder box.
//   labdrive --exe <path> [--answer no|yes] [--shots <folder>] [--report <file>]
//            [--timeout <seconds>] [--wait-file <path>]... [--measure [--poll-ms <ms>]]
// After Yes, labdrive waits until one of the --wait-file files exists, then closes the window.
// Every wait is bounded by --timeout (default 60 s). The report holds one "key=value" line
// per observation; the same lines go to the standard output. Exit code 0 when the window
// could be driven through the whole dialogue and the program ended with exit code 0.
// --measure (for scripts/bench) adds two lines: run_ms, the milliseconds from posting the click
// on Start to seeing the restart question (looked for every 5 ms instead of every 50, or every
// --poll-ms), and peak_working_set, the program's PeakWorkingSetSize in bytes, read just before
// answering.

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>

#include <functional>
#include <string>
#include <vector>

#include "lab/plant/LabWin32.h"

namespace hf::lab {
namespace {

constexpr wchar_t kQuestionCaption[] = L"Information";
constexpr wchar_t kAppCaption[] = L"hfremove";
constexpr wchar_t kErrorPrefix[] = L"에러발생 재부팅 후 다시시도하세요 : ";
constexpr UINT kTdmClickButton = WM_USER + 102;  // TDM_CLICK_BUTTON
constexpr UINT kMessageTimeoutMs = 5000;

struct Options {
    std::wstring exe;
    std::wstring answer = L"no";
    std::wstring shots;
    std::wstring report;
    std::vector<std::wstring> waitFiles;
    DWORD timeoutMs = 60000;
    bool measure = false;
    DWORD measurePollMs = 5;
};

class Report {
  public:
    void Add(const std::wstring& key, const std::wstring& value) {
        std::wstring line = key + L"=" + OneLine(value);
        PrintLine(line);
        text_ += line + L"\n";
    }
    const std::wstring& text() const { return text_; }

  private:
    // Line breaks inside a value are shown as \n so a value stays on its line.
    static std::wstring OneLine(const std::wstring& value) {
        std::wstring out;
        for (wchar_t c : value) {
            if (c == L'\r') {
                out += L"\\r";
            } else if (c == L'\n') {
                out += L"\\n";
            } else {
                out += c;
            }
        }
        return out;
    }
    std::wstring text_;
};

// The text of a window of another process, asked for with a bounded wait.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                               &length)) {
        return std::wstring();
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

std::wstring WithoutAmpersands(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c != L'&') {
            out += c;
        }
    }
    return out;
}

struct ChildSearch {
    std::vector<HWND> found;
};

// A named callback: a lambda does not convert to a CALLBACK (stdcall) pointer on 32-bit Windows.
BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<ChildSearch*>(param)->found.push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    ChildSearch search;
    ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ChildOfClass(HWND parent, const std::wstring& className) {
    for (HWND child : Children(parent)) {
        if (::lstrcmpiW(ClassOf(child).c_str(), className.c_str()) == 0) {
            return child;
        }
    }
    return nullptr;
}

// A push button whose caption, without its access-key marker, is `label` (case ignored).
HWND ButtonLabelled(HWND parent, const std::wstring& label) {
    for (HWND child : Children(parent)) {
        if (::lstrcmpiW(ClassOf(child).c_str(), L"Button") == 0 &&
            ::lstrcmpiW(WithoutAmpersands(TextOf(child)).c_str(), label.c_str()) == 0) {
            return child;
        }
    }
    return nullptr;
}

// The texts a dialog shows, outside its buttons, joined by " / ".
std::wstring DialogText(HWND dialog) {
    std::wstring text;
    for (HWND child : Children(dialog)) {
        if (::lstrcmpiW(ClassOf(child).c_str(), L"Button") == 0 || !::IsWindowVisible(child)) {
            continue;
        }
        std::wstring part = TextOf(child);
        if (!part.empty()) {
            text += (text.empty() ? L"" : L" / ") + part;
        }
    }
    return text;
}

// Polls `probe` every `pollMs` until it gives a window or the time is up.
HWND WaitFor(DWORD timeoutMs, HANDLE process, const std::function<HWND()>& probe,
             DWORD pollMs = 50) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND found = probe()) {
            return found;
        }
        if (::GetTickCount64() >= deadline || ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            return nullptr;
        }
        ::Sleep(pollMs);
    }
}

double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

HWND DialogOf(DWORD processId, const std::wstring& caption) {
    for (HWND window : TopLevelWindows(processId, true)) {
        if (ClassOf(window) == L"#32770" && TextOf(window) == caption) {
            return window;
        }
    }
    return nullptr;
}

// The same search as DialogOf, cheaper, for polling while a run is timed: the system lists
// only dialog-class windows (one request to the window server instead of one per window), so a
// probe every few milliseconds takes little from the program it is timing.
HWND DialogOfQuickly(DWORD processId, const std::wstring& caption) {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window != nullptr;
         window = ::FindWindowExW(nullptr, window, L"#32770", nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId && ::IsWindowVisible(window) && TextOf(window) == caption) {
            return window;
        }
    }
    return nullptr;
}

// Writes what the screen shows inside the window's rectangle as a 24-bit BMP.
bool Screenshot(HWND window, const std::wstring& path) {
    RECT r{};
    if (!::GetWindowRect(window, &r)) {
        return false;
    }
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    WindowDc screen(WindowDcTraits{nullptr}, ::GetDC(nullptr));
    MemoryDc memory(MemoryDcTraits{}, ::CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject bitmap(GdiObjectTraits{},
                     ::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen || !memory || !bitmap) {
        return false;
    }
    HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
    BOOL copied = ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top,
                           SRCCOPY | CAPTUREBLT);
    ::GdiFlush();
    ::SelectObject(memory.get(), previous);
    if (!copied) {
        return false;
    }
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    FileHandle file(FileHandleTraits{},
                    ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), &header, sizeof header, &written, nullptr) &&
           ::WriteFile(file.get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
           ::WriteFile(file.get(), bits, imageSize, &written, nullptr);
}

class Driver {
  public:
    explicit Driver(Options options) : options_(std::move(options)) {}

    // Returns the exit code of labdrive.
    int Run() {
        if (!Start()) {
            return Finish(false);
        }
        HWND main = WaitFor(options_.timeoutMs, process_.get(), [this] { return MainWindow(); });
        if (main == nullptr) {
            report_.Add(L"error", Missing(L"the main window (visible, caption \" \")"));
            return Finish(false);
        }
        if (!CheckIdleWindow(main)) {
            return Finish(false);
        }
        Shot(main, L"window-start");
        LARGE_INTEGER clicked{};
        ::QueryPerformanceCounter(&clicked);
        ::PostMessageW(button_, BM_CLICK, 0, 0);  // the run starts in the app's own thread
        // The run ends in the question, or in the error box.
        HWND dialog = WaitFor(
            options_.timeoutMs, process_.get(),
            [this] {
                const auto find = options_.measure ? DialogOfQuickly : DialogOf;
                if (HWND question = find(processId_, kQuestionCaption)) {
                    return question;
                }
                return find(processId_, kAppCaption);
            },
            options_.measure ? options_.measurePollMs : 50);
        const double runMs = MillisecondsSince(clicked);
        report_.Add(L"clicked", L"시작");
        if (dialog == nullptr) {
            report_.Add(L"error", Missing(L"the question or an error box"));
            report_.Add(L"bar", Position());
            return Finish(false);
        }
        if (TextOf(dialog) == kAppCaption) {
            return ErrorBox(main, dialog);
        }
        if (options_.measure) {
            Measured(runMs);
        }
        report_.Add(L"question", DialogText(dialog));
        report_.Add(L"bar_at_question", Position());
        Shot(main, L"window-100");
        Shot(dialog, L"question");
        if (!Press(dialog, options_.answer == L"yes" ? L"Yes" : L"No",
                   options_.answer == L"yes" ? IDYES : IDNO)) {
            return Finish(false);
        }
        return options_.answer == L"yes" ? AfterYes(main) : AfterNo();
    }

    const Report& report() const { return report_; }

  private:
    bool Start() {
        std::wstring folder = options_.exe.substr(0, options_.exe.find_last_of(L"\\/"));
        std::wstring commandLine = L"\"" + options_.exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(options_.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, folder.c_str(), &startup, &info)) {
            report_.Add(L"error", Failure(L"CreateProcessW " + options_.exe, ::GetLastError()));
            return false;
        }
        process_.reset(info.hProcess);
        KernelHandle thread(KernelHandleTraits{}, info.hThread);
        processId_ = info.dwProcessId;
        report_.Add(L"started", options_.exe);
        return true;
    }

    // The run's time and the program's peak working set so far (0 when it cannot be read).
    void Measured(double runMs) {
        wchar_t text[32];
        std::swprintf(text, 32, L"%.1f", runMs);
        report_.Add(L"run_ms", text);
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        const bool read = ::GetProcessMemoryInfo(process_.get(), &counters, sizeof counters);
        report_.Add(L"peak_working_set",
                    read ? std::to_wstring(counters.PeakWorkingSetSize)
                         : L"0 (" + Failure(L"GetProcessMemoryInfo", ::GetLastError()) + L")");
    }

    // Why a window that was waited for is not there: the program ended, or time ran out.
    std::wstring Missing(const std::wstring& what) const {
        if (::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
            return L"hfremove.exe ended before " + what + L" appeared";
        }
        return what + L" did not appear within " + std::to_wstring(options_.timeoutMs / 1000) +
               L" s";
    }

    HWND MainWindow() const {
        for (HWND window : TopLevelWindows(processId_, true)) {
            if (ClassOf(window) != L"#32770" && TextOf(window) == L" ") {
                return window;
            }
        }
        return nullptr;
    }

    std::wstring Position() const {
        DWORD_PTR position = 0;
        if (progress_ == nullptr ||
            !::SendMessageTimeoutW(progress_, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                                   &position)) {
            return L"unreadable";
        }
        return std::to_wstring(static_cast<int>(position));
    }

    // The window as it opens: caption " ", the button "시작" with the focus, the bar at 0.
    bool CheckIdleWindow(HWND main) {
        RECT client{};
        ::GetClientRect(main, &client);
        report_.Add(L"window_class", ClassOf(main));
        report_.Add(L"caption", L"\"" + TextOf(main) + L"\"");
        report_.Add(L"client_size",
                    std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom));
        button_ = ButtonLabelled(main, L"시작");
        progress_ = ChildOfClass(main, PROGRESS_CLASSW);
        if (button_ == nullptr || progress_ == nullptr) {
            report_.Add(L"error", button_ == nullptr ? L"no button \"시작\" in the main window"
                                                     : L"no progress bar in the main window");
            return false;
        }
        report_.Add(L"bar_at_start", Position());
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        DWORD thread = ::GetWindowThreadProcessId(main, nullptr);
        bool focused = ::GetGUIThreadInfo(thread, &gui) && gui.hwndFocus == button_;
        report_.Add(L"button_focused", focused ? L"yes" : L"no");
        return true;
    }

    void Shot(HWND window, const std::wstring& name) {
        if (options_.shots.empty()) {
            return;
        }
        std::wstring path = options_.shots + L"\\" + name + L".bmp";
        report_.Add(L"shot_" + name, Screenshot(window, path) ? path : L"failed");
    }

    // Presses the dialog's button `label`; a task dialog without such a child window is
    // answered with TDM_CLICK_BUTTON instead.
    bool Press(HWND dialog, const std::wstring& label, int id) {
        if (HWND button = ButtonLabelled(dialog, label)) {
            ::PostMessageW(button, BM_CLICK, 0, 0);
            report_.Add(L"pressed", label);
        } else {
            ::PostMessageW(dialog, kTdmClickButton, static_cast<WPARAM>(id), 0);
            report_.Add(L"pressed", label + L" (TDM_CLICK_BUTTON " + std::to_wstring(id) + L")");
        }
        const ULONGLONG deadline = ::GetTickCount64() + options_.timeoutMs;
        while (::IsWindow(dialog) && ::GetTickCount64() < deadline) {
            ::Sleep(50);
        }
        if (::IsWindow(dialog)) {
            report_.Add(L"error", L"the dialog stayed open after pressing " + label);
            return false;
        }
        return true;
    }

    int AfterNo() {
        HWND reminder = WaitFor(options_.timeoutMs, process_.get(),
                                [this] { return DialogOf(processId_, kAppCaption); });
        if (reminder == nullptr) {
            report_.Add(L"error", Missing(L"the reminder box (caption \"hfremove\") after No"));
            return Finish(false);
        }
        report_.Add(L"reminder", DialogText(reminder));
        Shot(reminder, L"reminder");
        if (!Press(reminder, L"OK", IDOK)) {
            return Finish(false);
        }
        return Finish(true);
    }

    // After Yes the window stays open at 100 while the restart is under way; the lab closes
    // it once the stand-in shutdown.exe has left its record.
    int AfterYes(HWND main) {
        if (!options_.waitFiles.empty()) {
            const auto written = [this]() -> std::wstring {
                for (const std::wstring& file : options_.waitFiles) {
                    if (::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
                        return file;
                    }
                }
                return std::wstring();
            };
            const ULONGLONG deadline = ::GetTickCount64() + options_.timeoutMs;
            while (written().empty() && ::GetTickCount64() < deadline) {
                ::Sleep(50);
            }
            std::wstring file = written();
            report_.Add(L"restart_record", file.empty() ? L"not written in time" : file);
        }
        ::Sleep(300);  // a reminder box appearing here would be a fault: give it the chance
        if (DialogOf(processId_, kAppCaption) != nullptr) {
            report_.Add(L"error", L"a message box appeared after Yes");
            return Finish(false);
        }
        bool open = ::IsWindow(main) && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
        report_.Add(L"window_after_yes", open ? L"open" : L"gone");
        report_.Add(L"bar_after_yes", Position());
        if (!open) {
            return Finish(false);
        }
        Shot(main, L"window-after-yes");
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        report_.Add(L"closed", L"WM_CLOSE to the main window");
        return Finish(true);
    }

    int ErrorBox(HWND main, HWND box) {
        std::wstring text = DialogText(box);
        report_.Add(L"error_box", text);
        report_.Add(L"error_prefix", text.rfind(kErrorPrefix, 0) == 0 ? L"yes" : L"no");
        report_.Add(L"bar_at_error", Position());
        Shot(box, L"error");
        Press(box, L"OK", IDOK);
        // The run ends at the box: the window stays open and neither the question nor the
        // reminder follows. Give one the chance to appear, then close the window.
        ::Sleep(300);
        HWND next = DialogOf(processId_, kQuestionCaption);
        next = next != nullptr ? next : DialogOf(processId_, kAppCaption);
        report_.Add(L"box_after_error", next == nullptr ? L"none" : DialogText(next));
        const bool open =
            ::IsWindow(main) && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
        report_.Add(L"window_after_error", open ? L"open" : L"gone");
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        Finish(false);
        return 1;
    }

    // Waits for the program to end and reports its exit code.
    int Finish(bool drivenToEnd) {
        bool exitedWithZero = false;
        if (process_) {
            if (::WaitForSingleObject(process_.get(), options_.timeoutMs) != WAIT_OBJECT_0) {
                report_.Add(L"exit_code", L"still running after the time limit; terminated");
                ::TerminateProcess(process_.get(), 99);
                ::WaitForSingleObject(process_.get(), 5000);
            } else {
                DWORD code = 0;
                ::GetExitCodeProcess(process_.get(), &code);
                std::wstring text = std::to_wstring(code);
                if (code >= 0x80000000u) {  // an exception code: the program crashed
                    wchar_t hex[16] = {};
                    ::wsprintfW(hex, L"0x%08X", code);
                    text += std::wstring(L" (") + hex + L", the program crashed)";
                }
                report_.Add(L"exit_code", text);
                exitedWithZero = code == 0;
            }
        }
        bool ok = drivenToEnd && exitedWithZero;
        report_.Add(L"driven", ok ? L"yes" : L"no");
        return ok ? 0 : 1;
    }

    Options options_;
    Report report_;
    KernelHandle process_{KernelHandleTraits{}};
    DWORD processId_ = 0;
    HWND button_ = nullptr;
    HWND progress_ = nullptr;
};

}  // namespace
}  // namespace hf::lab

int wmain(int argc, wchar_t** argv) {
    using namespace hf::lab;
    Options options;
    bool usage = false;
    for (int i = 1; i < argc; i += 2) {
        std::wstring name = argv[i];
        if (name == L"--measure") {
            options.measure = true;
            --i;  // a switch without a value
            continue;
        }
        if (i + 1 >= argc) {
            usage = true;
            break;
        }
        std::wstring value = argv[i + 1];
        if (name == L"--exe") {
            options.exe = value;
        } else if (name == L"--answer") {
            options.answer = value;
        } else if (name == L"--shots") {
            options.shots = value;
        } else if (name == L"--report") {
            options.report = value;
        } else if (name == L"--wait-file") {
            options.waitFiles.push_back(value);
        } else if (name == L"--poll-ms") {
            options.measurePollMs = static_cast<DWORD>(std::stoul(value));
        } else if (name == L"--timeout") {
            options.timeoutMs = static_cast<DWORD>(std::stoul(value)) * 1000;
        } else {
            options.exe.clear();
            break;
        }
    }
    if (usage || options.exe.empty() || (options.answer != L"yes" && options.answer != L"no")) {
        PrintLine(
            L"usage: labdrive --exe <path> [--answer no|yes] [--shots <folder>] "
            L"[--report <file>] [--timeout <seconds>] [--wait-file <path>]... "
            L"[--measure [--poll-ms <ms>]]");
        return 2;
    }
    Driver driver(options);
    int rc = driver.Run();
    if (!options.report.empty() && !WriteTextFile(options.report, driver.report().text())) {
        PrintLine(Failure(L"labdrive: writing " + options.report, ::GetLastError()));
        return 2;
    }
    return rc;
}
