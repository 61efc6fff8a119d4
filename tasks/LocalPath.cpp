#include "tasks/LocalPath.h"

#include "platform/Text.h"
#include "tasks/CandidateFile.h"

#include <array>

namespace hf {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// The names Windows maps to a device in any folder, whatever extension follows them.
bool IsDosDeviceName(std::wstring_view component) {
    std::wstring stem = UpperCase(component.substr(0, component.find(L'.')));
    while (!stem.empty() && (stem.back() == L' ' || stem.back() == L'.')) {
        stem.pop_back();
    }
    static constexpr std::array<std::wstring_view, 6> kNames = {L"CON", L"PRN",    L"AUX",
                                                                L"NUL", L"CONIN$", L"CONOUT$"};
    for (std::wstring_view name : kNames) {
        if (stem == name) {
            return true;
        }
    }
    // COM0-9 and LPT0-9, the superscript digits included.
    if (stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"))) {
        const wchar_t digit = stem[3];
        return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

}  // namespace

std::wstring_view LocalPathProblem(std::wstring_view path) {
    if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != L':' || !IsSeparator(path[2]) ||
        path.find(L':', 2) != std::wstring_view::npos) {
        return kOffTheLocalDisks;
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    return IsDosDeviceName(path.substr(separator + 1)) ? kDeviceName : std::wstring_view();
}

bool IsLocalFixedPath(FileApi& files, std::wstring_view path) {
    if (!LocalPathProblem(path).empty()) {
        return false;
    }
    const std::wstring root = {path[0], L':', L'\\'};
    return files.GetDriveTypeW(root) == kDriveFixed;
}

}  // namespace hf
