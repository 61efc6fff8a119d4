#include "platform/win32/VersionWin32.h"

#include <windows.h>

namespace hf {

Win32VersionApi::Win32VersionApi(const wchar_t* library) : library_(LoadSystemLibrary(library)) {
    if (!library_) {
        loadError_ = ::GetLastError() != 0 ? ::GetLastError() : ERROR_MOD_NOT_FOUND;
        return;
    }
    getFileVersionInfoSize_ = GetProcedure<decltype(getFileVersionInfoSize_)>(
        library_.get(), "GetFileVersionInfoSizeW");
    getFileVersionInfo_ =
        GetProcedure<decltype(getFileVersionInfo_)>(library_.get(), "GetFileVersionInfoW");
    verQueryValue_ = GetProcedure<decltype(verQueryValue_)>(library_.get(), "VerQueryValueW");
    if (getFileVersionInfoSize_ == nullptr || getFileVersionInfo_ == nullptr ||
        verQueryValue_ == nullptr) {
        loadError_ = ERROR_PROC_NOT_FOUND;
    }
}

bool Win32VersionApi::Unavailable() const {
    if (loadError_ == 0) {
        return false;
    }
    ::SetLastError(loadError_);
    return true;
}

std::uint32_t Win32VersionApi::GetFileVersionInfoSizeW(const std::wstring& path) {
    if (Unavailable()) {
        return 0;
    }
    DWORD ignored = 0;
    return getFileVersionInfoSize_(path.c_str(), &ignored);
}

bool Win32VersionApi::GetFileVersionInfoW(const std::wstring& path, std::uint32_t size,
                                          void* data) {
    if (Unavailable()) {
        return false;
    }
    return getFileVersionInfo_(path.c_str(), 0, size, data) != 0;
}

bool Win32VersionApi::VerQueryValueW(const void* block, const std::wstring& subBlock,
                                     const void*& value, std::uint32_t& length) {
    if (Unavailable()) {
        return false;
    }
    void* found = nullptr;
    UINT foundLength = 0;
    if (!verQueryValue_(block, subBlock.c_str(), &found, &foundLength)) {
        return false;
    }
    value = found;
    length = foundLength;
    return true;
}

}  // namespace hf
