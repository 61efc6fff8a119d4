#include "app/core/ApplicationTitle.h"

namespace hf {

std::wstring ApplicationTitle(std::wstring_view programPath) {
    std::wstring_view name = programPath;
    const std::size_t folderEnd = name.find_last_of(L"\\/:");
    if (folderEnd != std::wstring_view::npos) {
        name.remove_prefix(folderEnd + 1);
    }
    name = name.substr(0, name.find(L'.'));

    std::wstring title(name);
    for (std::size_t i = 1; i < title.size(); ++i) {
        if (title[i] >= L'A' && title[i] <= L'Z') {
            title[i] = static_cast<wchar_t>(title[i] - L'A' + L'a');
        }
    }
    return title;
}

}  // namespace hf
