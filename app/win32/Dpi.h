#pragma once
// Dots per inch: the layout is designed at 96 and scaled to the window's monitor.

#include <windows.h>

namespace hf {

inline constexpr int kDesignDpi = 96;

// The system DPI (the primary monitor's at log-on).
int SystemDpi();

// The DPI of the monitor a window is on, where Windows tells it (Windows 10 1607 and later);
// the system DPI elsewhere.
int WindowDpi(HWND window);

inline int ScaleToDpi(int designValue, int dpi) {
    return ::MulDiv(designValue, dpi, kDesignDpi);
}

// The window rectangle around `client` for the given styles at `dpi` (frame metrics of that
// DPI where Windows offers them).
RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, int dpi);

}  // namespace hf
