#include "inspect/WindowsFolder.h"

#include "platform/Files.h"

#include <algorithm>

namespace hf {

std::wstring GetWindowsFolder(const Platform& platform) {
    std::wstring buffer;
    // Success codes other than S_OK (such as S_FALSE) do not promise a path either.
    if (platform.Files().SHGetFolderPathW(kCsidlWindows, kShgfpTypeCurrent, buffer) != 0) {
        return std::wstring();
    }
    // The shell may fill all 261 characters without a terminating NUL.
    const std::size_t limit = std::min(buffer.size(), kMaxPathBuffer);
    const std::size_t end = buffer.find(L'\0');
    return buffer.substr(0, std::min(end, limit));
}

}  // namespace hf
