#pragma once
// The product's platform: every Win32 backend of the seam, owned in one place, and the context
// object the stages receive. One instance lives for the program's lifetime in wWinMain.

#include "platform/Platform.h"
#include "platform/win32/ComWin32.h"
#include "platform/win32/FilesWin32.h"
#include "platform/win32/RegistryWin32.h"
#include "platform/win32/ServicesWin32.h"
#include "platform/win32/ShellWin32.h"
#include "platform/win32/SystemWin32.h"
#include "platform/win32/TimeWin32.h"
#include "platform/win32/VersionWin32.h"

namespace hf {

class Win32Platform {
  public:
    Win32Platform() {
        platform_.system = &system_;
        platform_.services = &services_;
        platform_.shell = &shell_;
        platform_.files = &files_;
        platform_.version = &version_;
        platform_.time = &time_;
        platform_.registry = &registry_;
        platform_.com = &com_;
    }
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    const Platform& Get() const noexcept { return platform_; }

  private:
    Win32SystemApi system_;
    Win32ServiceApi services_;
    Win32ShellApi shell_;
    Win32FileApi files_;
    Win32VersionApi version_;
    Win32TimeApi time_;
    Win32RegistryApi registry_;
    Win32ComApi com_;
    Platform platform_;
};

}  // namespace hf
