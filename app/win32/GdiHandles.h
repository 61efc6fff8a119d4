#pragma once
// Owners for the GDI objects and device contexts the window code, the lab's window driver and the
// Wine tests of the window hold. Here beside the window code, which links gdi32 and user32, so
// the backend library in platform/win32 needs neither.

#include "platform/UniqueHandle.h"

#include <windows.h>

namespace hf {

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle handle) const noexcept { ::DeleteObject(handle); }
};
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;

// A device context from GetDC, released against the window it came from (null: the screen).
struct WindowDcTraits {
    using Handle = HDC;
    HWND window = nullptr;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle handle) const noexcept { ::ReleaseDC(window, handle); }
};
using UniqueWindowDc = UniqueHandle<WindowDcTraits>;

inline UniqueWindowDc GetWindowDc(HWND window) {
    return UniqueWindowDc(WindowDcTraits{window}, ::GetDC(window));
}

// A memory device context from CreateCompatibleDC.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle handle) const noexcept { ::DeleteDC(handle); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// Selects an object into a device context for the owner's lifetime, then puts the old one back.
struct SelectionTraits {
    using Handle = HGDIOBJ;
    HDC dc = nullptr;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle previous) const noexcept { ::SelectObject(dc, previous); }
};
using ScopedSelection = UniqueHandle<SelectionTraits>;

inline ScopedSelection SelectInto(HDC dc, HGDIOBJ object) {
    return ScopedSelection(SelectionTraits{dc}, ::SelectObject(dc, object));
}

}  // namespace hf
