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

#include <cstdint>
#include <optional>

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

    // The library a backend loads at run time (version.dll) when it could not be loaded, with
    // the error; nothing when every one was found. The run must not start without it: the
    // version queries would fail for every file and the sweeps would find nothing.
    struct MissingLibrary {
        const wchar_t* name;
        std::uint32_t error;
    };
    std::optional<MissingLibrary> Missing() const {
        if (version_.LoadError() != 0) {
            return MissingLibrary{L"version.dll", version_.LoadError()};
        }
        return std::nullopt;
    }

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
