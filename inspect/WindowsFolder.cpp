#include "inspect/WindowsFolder.h"

#include "platform/Files.h"

namespace hf {

std::wstring GetWindowsFolder(const Platform& platform) {
    std::wstring folder;
    if (!platform.Files().GetSystemWindowsDirectoryW(folder)) {
        return std::wstring();
    }
    return folder;
}

}  // namespace hf
