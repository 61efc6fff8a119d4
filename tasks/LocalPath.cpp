#include "tasks/LocalPath.h"

#include "platform/Text.h"

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

bool IsLocalFixedPath(FileApi& files, std::wstring_view path) {
    if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != L':' || !IsSeparator(path[2]) ||
        path.find(L':', 2) != std::wstring_view::npos) {
        return false;
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    if (IsDosDeviceName(path.substr(separator + 1))) {
        return false;
    }
    const std::wstring root = {path[0], L':', L'\\'};
    return files.GetDriveTypeW(root) == kDriveFixed;
}

bool HasNoLinkOnTheWay(FileApi& files, std::wstring_view path) {
    constexpr std::uint32_t kFlags = kFileFlagOpenReparsePoint | kFileFlagBackupSemantics |
                                     kSecuritySqosPresent | kSecurityIdentification;
    // From the first component below the root: the root itself is no link.
    for (std::size_t end = path.find_first_of(L"\\/", 3);;
         end = path.find_first_of(L"\\/", end + 1)) {
        const std::size_t stop = end == std::wstring_view::npos ? path.size() : end;
        if (stop > 0 && !IsSeparator(path[stop - 1])) {  // repeated separators add nothing
            const UniqueFileHandle component(
                FileHandleTraits{&files},
                files.CreateFileW(std::wstring(path.substr(0, stop)), kFileReadAttributes,
                                  kFileShareAll, kOpenExisting, kFlags));
            FileHandleInformation info;
            if (!component || !files.GetFileInformationByHandle(component.get(), info) ||
                (info.dwFileAttributes & kFileAttributeReparsePoint) != 0) {
                return false;
            }
        }
        if (end == std::wstring_view::npos) {
            return true;
        }
    }
}

}  // namespace hf
