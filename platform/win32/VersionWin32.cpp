#include "platform/win32/VersionWin32.h"

#include <windows.h>

namespace hf {

std::uint32_t Win32VersionApi::GetFileVersionInfoSizeW(const std::wstring& path) {
    DWORD ignored = 0;
    return ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
}

bool Win32VersionApi::GetFileVersionInfoW(const std::wstring& path, std::uint32_t size,
                                          void* data) {
    return ::GetFileVersionInfoW(path.c_str(), 0, size, data) != 0;
}

bool Win32VersionApi::VerQueryValueW(const void* block, const std::wstring& subBlock,
                                     const void*& value, std::uint32_t& length) {
    void* found = nullptr;
    UINT foundLength = 0;
    if (!::VerQueryValueW(block, subBlock.c_str(), &found, &foundLength)) {
        return false;
    }
    value = found;
    length = foundLength;
    return true;
}

}  // namespace hf
