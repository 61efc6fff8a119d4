#pragma once
// Owners for the Win32 handles the product's backend, the lab programs and the Wine tests hold:
// modules, kernel handles, files, searches, registry keys and service handles. (The seam's own
// handles have their owners beside their interfaces in platform/*.h, the COM owners are in
// platform/win32/ComPtr.h, the GDI owners beside the window code in app/win32/GdiHandles.h.)

#include "platform/UniqueHandle.h"

#include <windows.h>

namespace hf {

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

// A registry key from RegOpenKeyExW or RegCreateKeyExW (the seam's own: UniqueRegKey).
struct NativeKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle key) const noexcept { ::RegCloseKey(key); }
};
using UniqueNativeKey = UniqueHandle<NativeKeyTraits>;

// A service control manager or service handle from OpenSCManagerW, OpenServiceW or
// CreateServiceW (the seam's own: UniqueScHandle).
struct NativeScTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle handle) const noexcept { ::CloseServiceHandle(handle); }
};
using UniqueNativeSc = UniqueHandle<NativeScTraits>;

// The argument vector CommandLineToArgvW gives: one block the caller frees with LocalFree.
struct ArgvTraits {
    using Handle = LPWSTR*;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle argv) const noexcept { ::LocalFree(argv); }
};
using UniqueArgv = UniqueHandle<ArgvTraits>;

// Memory the system allocated for the caller with LocalAlloc (a security descriptor from
// GetSecurityInfo, a SID's text from ConvertSidToStringSidW).
struct LocalMemoryTraits {
    using Handle = void*;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle memory) const noexcept { ::LocalFree(memory); }
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;

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
