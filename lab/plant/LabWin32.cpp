#include "lab/plant/LabWin32.h"

#include <vector>

#include "platform/Text.h"

namespace hf::lab {

std::wstring ErrorText(DWORD code) {
    wchar_t buffer[512] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               code, 0, buffer, 512, nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

std::wstring Failure(std::wstring_view what, DWORD code) {
    return std::wstring(what) + L" failed: " + std::to_wstring(code) + L" " + ErrorText(code);
}

bool ReadTextFile(const std::wstring& path, std::wstring& text) {
    FileHandle file(FileHandleTraits{},
                    ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return true;
    }
    std::string_view view(bytes);
    if (view.substr(0, 3) == "\xEF\xBB\xBF") {
        view.remove_prefix(3);
    }
    text = Utf8ToUtf16(view);
    return true;
}

bool WriteTextFile(const std::wstring& path, std::wstring_view text) {
    FileHandle file(FileHandleTraits{},
                    ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::string bytes = Utf16ToUtf8(text);
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool WriteUtf16File(const std::wstring& path, std::wstring_view text) {
    FileHandle file(FileHandleTraits{},
                    ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::wstring bytes = L"\xFEFF";
    bytes += text;
    const DWORD size = static_cast<DWORD>(bytes.size() * sizeof(wchar_t));
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), size, &written, nullptr) && written == size;
}

void PrintLine(std::wstring_view line) {
    std::string bytes = Utf16ToUtf8(line);
    bytes += '\n';
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
                &written, nullptr);
}

std::wstring ProgramFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            return path.substr(0, path.find_last_of(L"\\/"));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring TaskStoreFolder() {
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
        return L"C:\\Windows\\Sysnative\\Tasks";
    }
    return L"C:\\Windows\\System32\\Tasks";
}

namespace {

struct WindowSearch {
    DWORD processId = 0;
    bool visibleOnly = false;
    std::vector<HWND> found;
};

// Named callbacks: a lambda does not convert to a CALLBACK (stdcall) pointer on 32-bit Windows.
BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && (!search->visibleOnly || ::IsWindowVisible(window))) {
        search->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, bool visibleOnly) {
    WindowSearch search{processId, visibleOnly, {}};
    ::EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

}  // namespace hf::lab
