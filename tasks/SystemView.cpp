#include "tasks/SystemView.h"

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
        return view.wow64Folder + std::wstring(rest);
    }
    if (SplitBelow(files, fullPath, view.windowsFolder + L"\\Sysnative", rest)) {
        return view.windowsFolder + L"\\System32" + std::wstring(rest);
    }
    return fullPath;
}

}  // namespace hf
