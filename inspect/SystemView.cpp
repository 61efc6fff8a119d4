#include "inspect/SystemView.h"

#include <array>
#include <string_view>

namespace hf {

namespace {

// When `path` is `folder` or lies below it, the part after `folder` (empty or starting with a
// separator); else nothing.
bool SplitBelow(FileApi& files, std::wstring_view path, std::wstring_view folder,
                std::wstring_view& rest) {
    if (folder.empty() || path.size() < folder.size() ||
        !files.EqualOrdinal(path.substr(0, folder.size()), folder, true)) {
        return false;
    }
    rest = path.substr(folder.size());
    return rest.empty() || rest.front() == L'\\';
}

// The folders below System32 that WoW64 leaves alone: a 32-bit process reaches the native ones.
bool IsRedirectionExempt(FileApi& files, std::wstring_view rest) {
    static constexpr std::array<std::wstring_view, 6> kExempt = {
        L"\\catroot",      L"\\catroot2", L"\\driverstore",
        L"\\drivers\\etc", L"\\logfiles", L"\\spool"};
    for (std::wstring_view folder : kExempt) {
        std::wstring_view below;
        if (SplitBelow(files, rest, folder, below)) {
            return true;
        }
    }
    return false;
}

}  // namespace

SystemView ReadSystemView(FileApi& files) {
    SystemView view;
    bool wow64 = false;
    std::wstring folder;
    if (!files.IsWow64Process(wow64) || !wow64 || !files.GetSystemWow64DirectoryW(folder)) {
        return view;
    }
    while (!folder.empty() && folder.back() == L'\\') {
        folder.pop_back();
    }
    const std::size_t separator = folder.rfind(L'\\');
    if (separator == std::wstring::npos || separator == 0) {
        return view;
    }
    view.wow64 = true;
    view.windowsFolder = folder.substr(0, separator);
    view.wow64Folder = std::move(folder);
    return view;
}

std::wstring MapToSystemView(FileApi& files, const SystemView& view, const std::wstring& fullPath) {
    if (!view.wow64) {
        return fullPath;
    }
    std::wstring_view rest;
    if (SplitBelow(files, fullPath, view.windowsFolder + L"\\System32", rest)) {
        return IsRedirectionExempt(files, rest) ? fullPath : view.wow64Folder + std::wstring(rest);
    }
    if (SplitBelow(files, fullPath, view.windowsFolder + L"\\Sysnative", rest)) {
        return view.windowsFolder + L"\\System32" + std::wstring(rest);
    }
    return fullPath;
}

}  // namespace hf
