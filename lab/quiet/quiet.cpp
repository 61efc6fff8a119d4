// labquiet: starts a program the way a deployment tool does (no one at its windows, standard
// output captured) and watches it for windows while it runs.
//   labquiet --exe <path> --out <file> --report <file> [--stdout pipe|file] [--decode oem|utf8]
//            [--timeout <s>] [--answer-boxes] [-- <arguments>...]
// Standard output goes through a pipe (the default) or straight into a file; either way the bytes
// as written land in <out>.raw, and --out gets them as the tools that capture output read them:
// decoded with the system's OEM code page (the default, as PowerShell, Intune's agent and
// Ansible's win_command decode), or as UTF-8, then written as UTF-8 for the shell. Every 10 ms it
// lists the program's top-level windows (EnumWindows, shown or not); with --answer-boxes it
// presses OK on a visible dialog (class #32770). The report has "key=value" lines: exit_code
// (the full code from GetExitCodeProcess; a Unix shell would see it modulo 256), windows_seen and
// visible_windows_seen (how many distinct windows), a window=<class>|<caption>|visible|hidden
// line for each (COM's hidden apartment window aside: a window_not_counted line), decoded_with
// (the code page), timed_out=yes|no and seconds.
// Exit code 0 when the program ran and ended within the time limit.

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "lab/plant/LabWin32.h"

namespace hf::lab {
namespace {

constexpr UINT kTdmClickButton = WM_USER + 102;  // TDM_CLICK_BUTTON

struct Options {
    std::wstring exe;
    std::wstring out;
    std::wstring report;
    bool pipe = true;
    bool utf8 = false;
    bool answerBoxes = false;
    DWORD timeoutMs = 120000;
    std::vector<std::wstring> arguments;
};

BOOL CALLBACK PressOk(HWND child, LPARAM) {
    wchar_t name[64] = {};
    wchar_t text[64] = {};
    ::GetClassNameW(child, name, 64);
    ::GetWindowTextW(child, text, 64);
    if (::lstrcmpiW(name, L"Button") == 0 && ::lstrcmpiW(text, L"OK") == 0) {
        ::PostMessageW(child, BM_CLICK, 0, 0);
    }
    return TRUE;
}

std::wstring CaptionOf(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

bool Parse(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto value = [&](std::wstring& into) {
            if (i + 1 >= argc) {
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::wstring text;
        if (arg == L"--") {
            options.arguments.assign(argv + i + 1, argv + argc);
            break;
        }
        if (arg == L"--exe") {
            if (!value(options.exe))
                return false;
        } else if (arg == L"--out") {
            if (!value(options.out))
                return false;
        } else if (arg == L"--report") {
            if (!value(options.report))
                return false;
        } else if (arg == L"--stdout") {
            if (!value(text) || (text != L"pipe" && text != L"file"))
                return false;
            options.pipe = text == L"pipe";
        } else if (arg == L"--decode") {
            if (!value(text) || (text != L"oem" && text != L"utf8"))
                return false;
            options.utf8 = text == L"utf8";
        } else if (arg == L"--timeout") {
            if (!value(text))
                return false;
            options.timeoutMs = static_cast<DWORD>(std::stoul(text)) * 1000;
        } else if (arg == L"--answer-boxes") {
            options.answerBoxes = true;
        } else {
            return false;
        }
    }
    return !options.exe.empty() && !options.out.empty() && !options.report.empty();
}

// The raw bytes at `rawPath` decoded with `codePage` into `out` (as UTF-8); false when the raw
// file cannot be read or the text written.
bool Decode(const std::wstring& rawPath, UINT codePage, const std::wstring& out) {
    FileHandle raw(FileHandleTraits{},
                   ::CreateFileW(rawPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!raw) {
        return false;
    }
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(raw.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    std::wstring text(bytes.size(), L'\0');
    const int length =
        bytes.empty()
            ? 0
            : ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length));
    return WriteTextFile(out, text);
}

HANDLE Inheritable(HANDLE handle) {
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

int Run(const Options& options) {
    SECURITY_ATTRIBUTES noInherit{sizeof noInherit, nullptr, FALSE};
    const std::wstring rawPath = options.out + L".raw";
    FileHandle outFile(FileHandleTraits{},
                       ::CreateFileW(rawPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &noInherit,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!outFile) {
        PrintLine(Failure(L"labquiet: creating " + rawPath, ::GetLastError()));
        return 2;
    }
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (options.pipe && !::CreatePipe(&readRaw, &writeRaw, &noInherit, 0)) {
        PrintLine(Failure(L"labquiet: CreatePipe", ::GetLastError()));
        return 2;
    }
    UniqueKernelHandle pipeRead(KernelHandleTraits{}, readRaw);
    UniqueKernelHandle pipeWrite(KernelHandleTraits{}, writeRaw);
    const HANDLE childOut = Inheritable(options.pipe ? pipeWrite.get() : outFile.get());

    std::wstring commandLine = L"\"" + options.exe + L"\"";
    for (const std::wstring& argument : options.arguments) {
        commandLine += L" " + argument;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = childOut;
    PROCESS_INFORMATION info{};
    const ULONGLONG start = ::GetTickCount64();
    if (!::CreateProcessW(options.exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                          nullptr, nullptr, &startup, &info)) {
        PrintLine(Failure(L"labquiet: starting " + options.exe, ::GetLastError()));
        return 2;
    }
    UniqueKernelHandle process(KernelHandleTraits{}, info.hProcess);
    UniqueKernelHandle thread(KernelHandleTraits{}, info.hThread);

    // Our copy of the write end goes, so the pipe breaks once the program's copy is closed.
    pipeWrite.reset();
    // Moves what waits in the pipe to the output file; false once the pipe is broken.
    auto drain = [&pipeRead, &outFile]() {
        for (;;) {
            DWORD available = 0;
            if (!::PeekNamedPipe(pipeRead.get(), nullptr, 0, nullptr, &available, nullptr)) {
                return false;
            }
            if (available == 0) {
                return true;
            }
            char buffer[4096];
            DWORD read = 0;
            if (!::ReadFile(pipeRead.get(), buffer, sizeof buffer, &read, nullptr)) {
                return false;
            }
            DWORD written = 0;
            ::WriteFile(outFile.get(), buffer, read, &written, nullptr);
        }
    };

    std::set<HWND> seen;
    std::set<HWND> visible;
    std::set<HWND> apartment;
    std::wstring windowLines;
    bool timedOut = false;
    for (;;) {
        for (HWND window : TopLevelWindows(info.dwProcessId, false)) {
            const bool shown = ::IsWindowVisible(window) != FALSE;
            // COM's apartment window is message-only: Windows never lists it among top-level
            // windows, but Wine 8 sometimes does (seen on hfremove.exe's first run in a fresh
            // sandbox, in about half of the runs). It is noted, not counted; shown, it counts.
            if (!shown && ClassOf(window) == L"OleMainThreadWndClass") {
                if (apartment.insert(window).second) {
                    windowLines += L"window_not_counted=OleMainThreadWndClass|hidden\n";
                }
                continue;
            }
            if (seen.insert(window).second || (shown && !visible.count(window))) {
                windowLines += L"window=" + ClassOf(window) + L"|" + CaptionOf(window) + L"|" +
                               (shown ? L"visible" : L"hidden") + L"\n";
            }
            if (shown) {
                visible.insert(window);
                if (options.answerBoxes && ClassOf(window) == L"#32770") {
                    ::PostMessageW(window, kTdmClickButton, IDOK, 0);
                    ::EnumChildWindows(window, PressOk, 0);
                }
            }
        }
        if (options.pipe) {
            drain();
        }
        if (::WaitForSingleObject(process.get(), 10) == WAIT_OBJECT_0) {
            break;
        }
        if (::GetTickCount64() - start > options.timeoutMs) {
            timedOut = true;
            ::TerminateProcess(process.get(), 9999);
            ::WaitForSingleObject(process.get(), 5000);
            break;
        }
    }
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.get(), &exitCode);
    // The rest, until the pipe breaks (a program it started may hold it on: 5 s at most).
    for (const ULONGLONG deadline = ::GetTickCount64() + 5000;
         options.pipe && drain() && ::GetTickCount64() < deadline;) {
        ::Sleep(20);
    }
    outFile.reset();
    const UINT codePage = options.utf8 ? CP_UTF8 : ::GetOEMCP();
    if (!Decode(rawPath, codePage, options.out)) {
        PrintLine(
            Failure(L"labquiet: decoding " + rawPath + L" into " + options.out, ::GetLastError()));
        return 2;
    }
    std::wstring report = L"exit_code=" + std::to_wstring(exitCode) + L"\n";
    report += L"windows_seen=" + std::to_wstring(seen.size()) + L"\n";
    report += L"visible_windows_seen=" + std::to_wstring(visible.size()) + L"\n";
    report += windowLines;
    report += L"decoded_with=" + std::to_wstring(codePage) + L"\n";
    report += L"timed_out=" + std::wstring(timedOut ? L"yes" : L"no") + L"\n";
    report += L"seconds=" + std::to_wstring(static_cast<double>(elapsed) / 1000.0) + L"\n";
    PrintLine(report);
    if (!WriteTextFile(options.report, report)) {
        PrintLine(Failure(L"labquiet: writing " + options.report, ::GetLastError()));
        return 2;
    }
    return timedOut ? 1 : 0;
}

}  // namespace
}  // namespace hf::lab

int wmain(int argc, wchar_t** argv) {
    hf::lab::Options options;
    if (!hf::lab::Parse(argc, argv, options)) {
        hf::lab::PrintLine(
            L"usage: labquiet --exe <path> --out <file> --report <file> [--stdout pipe|file] "
            L"[--decode oem|utf8] [--timeout <s>] [--answer-boxes] [-- <arguments>...]");
        return 2;
    }
    return hf::lab::Run(options);
}
