#include "app/win32/Dpi.h"

#include "app/win32/GdiHandles.h"
#include "platform/win32/Win32Handles.h"

namespace hf {
namespace {

HMODULE User32() {
    return ::GetModuleHandleW(L"user32.dll");
}

}  // namespace

int SystemDpi() {
    UniqueWindowDc screen = GetWindowDc(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
}

int WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = GetProcedure<GetDpiForWindowFn>(User32(), "GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    return SystemDpi();
}

RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, int dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    const auto adjustForDpi = GetProcedure<AdjustForDpiFn>(User32(), "AdjustWindowRectExForDpi");
    RECT rect = client;
    if (adjustForDpi != nullptr) {
        adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi));
    } else {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return rect;
}

}  // namespace hf
