#include "platform/win32/SystemLibrary.h"

#include <string>

namespace hf {

bool LibrarySearchFlagsAvailable() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    return GetProcedure<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"),
                                                    "SetDefaultDllDirectories") != nullptr;
}

UniqueLibrary LoadSystemLibrary(const wchar_t* name) {
    if (LibrarySearchFlagsAvailable()) {
        return UniqueLibrary(LibraryTraits{},
                             ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    }
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        if (length != 0) {
            ::SetLastError(ERROR_BUFFER_OVERFLOW);
        }
        return UniqueLibrary();
    }
    std::wstring path(folder, length);
    if (path.back() != L'\\') {
        path += L'\\';
    }
    path += name;
    return UniqueLibrary(LibraryTraits{},
                         ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace hf
