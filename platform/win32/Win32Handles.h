#pragma once
// Owners for the Win32 handles the window code, the lab programs and the Wine tests hold: GDI
// objects, device contexts, modules, kernel handles, files and searches.

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

struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle handle) const noexcept { ::FreeLibrary(handle); }
};
using UniqueLibrary = UniqueHandle<LibraryTraits>;

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle handle) const noexcept { ::CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// A file or device from CreateFileW (invalid: INVALID_HANDLE_VALUE).
struct FileTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    void Close(Handle handle) const noexcept { ::CloseHandle(handle); }
};
using UniqueFile = UniqueHandle<FileTraits>;

// A directory search from FindFirstFileW.
struct FindTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    void Close(Handle handle) const noexcept { ::FindClose(handle); }
};
using UniqueFind = UniqueHandle<FindTraits>;

// A function of a module, typed; null when the module lacks it.
template <typename Function>
Function GetProcedure(HMODULE module, const char* name) {
    if (module == nullptr) {
        return nullptr;
    }
    // Through the generic function pointer type, which converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace hf
