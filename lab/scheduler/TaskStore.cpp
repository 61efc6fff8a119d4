#include "lab/scheduler/TaskStore.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "platform/win32/Win32Handles.h"

namespace hf::lab {
namespace {

// Task definitions are a few kilobytes; anything this large is not one.
constexpr LONGLONG kMaxDefinitionBytes = 16 * 1024 * 1024;

HRESULT LastErrorResult() {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring Trim(const std::wstring& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool IsDotName(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// A single name of a folder or task: no separators, wildcards or reserved characters, and
// not "." or "..", so a lookup can never leave the store or match more than one entry.
bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    return name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

std::wstring ChildPath(const StoreFolder& parent, const std::wstring& name) {
    return parent.path == L"\\" ? L"\\" + name : parent.path + L"\\" + name;
}

bool NameLess(const std::wstring& a, const std::wstring& b) {
    const int order = ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                             static_cast<int>(b.size()), TRUE);
    if (order != CSTR_EQUAL) {
        return order == CSTR_LESS_THAN;
    }
    return a < b;  // names differing only in case keep a fixed order too
}

// Looks up one entry of `directory` by its exact name (no wildcards) and reports its data.
bool FindEntry(const std::wstring& directory, const std::wstring& name, WIN32_FIND_DATAW& data) {
    UniqueFind find(FindTraits{}, ::FindFirstFileW((directory + L"\\" + name).c_str(), &data));
    return static_cast<bool>(find);
}

struct DirectoryEntries {
    std::vector<std::wstring> directories;
    std::vector<std::wstring> files;
};

HRESULT ReadDirectory(const StoreFolder& folder, DirectoryEntries& out) {
    WIN32_FIND_DATAW data{};
    UniqueFind find(FindTraits{}, ::FindFirstFileW((folder.directory + L"\\*").c_str(), &data));
    if (!find) {
        const DWORD error = ::GetLastError();
        if (folder.path == L"\\" &&
            (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND)) {
            return S_OK;  // a store nobody has written to yet: an empty root
        }
        return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
    }
    do {
        if (IsDotName(data.cFileName)) {
            continue;
        }
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            out.directories.emplace_back(data.cFileName);
        } else if (std::wcscmp(data.cFileName, kRefusalMarker) != 0) {
            out.files.emplace_back(data.cFileName);
        }
    } while (::FindNextFileW(find.get(), &data));
    const DWORD error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        return HRESULT_FROM_WIN32(error);
    }
    std::sort(out.directories.begin(), out.directories.end(), NameLess);
    std::sort(out.files.begin(), out.files.end(), NameLess);
    return S_OK;
}

HRESULT ReadFileBytes(const std::wstring& file, std::string& out) {
    UniqueFile handle(FileTraits{},
                      ::CreateFileW(file.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        return LastErrorResult();
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle.get(), &size)) {
        return LastErrorResult();
    }
    if (size.QuadPart > kMaxDefinitionBytes) {
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    out.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < out.size()) {
        DWORD got = 0;
        if (!::ReadFile(handle.get(), out.data() + done, static_cast<DWORD>(out.size() - done),
                        &got, nullptr)) {
            return LastErrorResult();
        }
        if (got == 0) {
            break;  // the file shrank while being read
        }
        done += got;
    }
    out.resize(done);
    return S_OK;
}

HRESULT LoadTask(const StoreFolder& folder, const std::wstring& name, StoredTask& out) {
    std::string bytes;
    if (HRESULT hr = ReadFileBytes(folder.directory + L"\\" + name, bytes); FAILED(hr)) {
        return hr;
    }
    out.name = name;
    out.path = ChildPath(folder, name);
    out.xml = DecodeDefinition(bytes);
    out.hidden = IsHiddenDefinition(out.xml);
    return S_OK;
}

// Position of the start tag "<name" followed by '>', '/' or a blank, from `from` on.
size_t FindStartTag(const std::wstring& xml, const std::wstring& name, size_t from) {
    const std::wstring open = L"<" + name;
    for (size_t at = xml.find(open, from); at != std::wstring::npos; at = xml.find(open, at + 1)) {
        const size_t next = at + open.size();
        if (next < xml.size() && (xml[next] == L'>' || xml[next] == L'/' || IsBlank(xml[next]))) {
            return at;
        }
    }
    return std::wstring::npos;
}

bool ParseHexCode(const std::wstring& word, HRESULT& out) {
    std::wstring digits = word;
    const bool prefixed =
        digits.size() > 2 && digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X');
    if (prefixed) {
        digits.erase(0, 2);
    } else if (digits.size() != 8) {
        return false;  // a bare word is a code only with all eight digits
    }
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return std::iswxdigit(c); })) {
        return false;
    }
    out = static_cast<HRESULT>(std::wcstoul(digits.c_str(), nullptr, 16));
    return true;
}

}  // namespace

HRESULT OpenRootFolder(StoreFolder& root) {
    wchar_t buffer[MAX_PATH + 1]{};
    std::wstring system;
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
        const UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return LastErrorResult();
        }
        system = std::wstring(buffer, length) + L"\\Sysnative";
    } else {
        const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return LastErrorResult();
        }
        system.assign(buffer, length);
    }
    root.path = L"\\";
    root.name = L"\\";
    root.directory = system + L"\\Tasks";
    return S_OK;
}

HRESULT ResolveFolder(const StoreFolder& base, const std::wstring& relative, StoreFolder& out) {
    StoreFolder current = base;
    size_t at = 0;
    while (at <= relative.size()) {
        size_t end = relative.find(L'\\', at);
        if (end == std::wstring::npos) {
            end = relative.size();
        }
        const std::wstring name = relative.substr(at, end - at);
        at = end + 1;
        if (name.empty()) {
            continue;
        }
        if (!IsPlainName(name)) {
            return E_INVALIDARG;
        }
        WIN32_FIND_DATAW data{};
        if (!FindEntry(current.directory, name, data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        current.path = ChildPath(current, data.cFileName);
        current.name = data.cFileName;
        current.directory += L"\\";
        current.directory += data.cFileName;
    }
    out = std::move(current);
    return S_OK;
}

HRESULT ListSubfolders(const StoreFolder& folder, std::vector<StoreFolder>& out) {
    DirectoryEntries entries;
    if (HRESULT hr = ReadDirectory(folder, entries); FAILED(hr)) {
        return hr;
    }
    out.clear();
    for (const std::wstring& name : entries.directories) {
        out.push_back(StoreFolder{ChildPath(folder, name), name, folder.directory + L"\\" + name});
    }
    return S_OK;
}

HRESULT ListTasks(const StoreFolder& folder, std::vector<StoredTask>& out) {
    DirectoryEntries entries;
    if (HRESULT hr = ReadDirectory(folder, entries); FAILED(hr)) {
        return hr;
    }
    out.clear();
    for (const std::wstring& name : entries.files) {
        StoredTask task;
        if (HRESULT hr = LoadTask(folder, name, task); FAILED(hr)) {
            return hr;
        }
        out.push_back(std::move(task));
    }
    return S_OK;
}

HRESULT ReadTask(const StoreFolder& folder, const std::wstring& name, StoredTask& out) {
    if (!IsPlainName(name)) {
        return E_INVALIDARG;
    }
    if (name == kRefusalMarker) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    WIN32_FIND_DATAW data{};
    if (!FindEntry(folder.directory, name, data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    return LoadTask(folder, data.cFileName, out);
}

bool FindRefusal(const StoreFolder& folder, Refusal& out) {
    const std::wstring marker = folder.directory + L"\\" + kRefusalMarker;
    const DWORD attributes = ::GetFileAttributesW(marker.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    std::string bytes;
    if (FAILED(ReadFileBytes(marker, bytes))) {
        out = Refusal{};  // present but unreadable: refuse all the same, without a description
        return true;
    }
    out = ParseRefusal(DecodeDefinition(bytes));
    return true;
}

std::wstring DecodeDefinition(const std::string& bytes) {
    const auto byte = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
        return text;
    }
    size_t start = 0;
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        start = 3;
    }
    if (start == bytes.size()) {
        return {};
    }
    const int inLength = static_cast<int>(bytes.size() - start);
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, inLength, nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, inLength, text.data(), length);
    }
    return text;
}

bool IsHiddenDefinition(const std::wstring& xml) {
    const size_t settings = FindStartTag(xml, L"Settings", 0);
    if (settings == std::wstring::npos) {
        return false;
    }
    const size_t settingsEnd = xml.find(L"</Settings>", settings);
    const size_t hidden = FindStartTag(xml, L"Hidden", settings);
    if (hidden == std::wstring::npos || hidden > settingsEnd) {
        return false;
    }
    const size_t tagEnd = xml.find(L'>', hidden);
    if (tagEnd == std::wstring::npos || xml[tagEnd - 1] == L'/') {
        return false;  // unterminated, or an empty <Hidden/>
    }
    const size_t close = xml.find(L"</Hidden>", tagEnd);
    if (close == std::wstring::npos) {
        return false;
    }
    const std::wstring value = Trim(xml.substr(tagEnd + 1, close - tagEnd - 1));
    return value == L"true" || value == L"1";
}

Refusal ParseRefusal(const std::wstring& text) {
    Refusal refusal;
    const std::wstring trimmed = Trim(text);
    size_t wordEnd = 0;
    while (wordEnd < trimmed.size() && !IsBlank(trimmed[wordEnd])) {
        ++wordEnd;
    }
    HRESULT code = S_OK;
    if (ParseHexCode(trimmed.substr(0, wordEnd), code)) {
        if (FAILED(code)) {
            refusal.result = code;
        }
        refusal.description = Trim(trimmed.substr(wordEnd));
    } else {
        refusal.description = trimmed;
    }
    return refusal;
}

}  // namespace hf::lab
