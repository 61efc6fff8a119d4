#include "app/win32/LoaderLockdown.h"

#include "platform/win32/Win32Handles.h"

#include <windows.h>

namespace hf {

bool LockDownLibrarySearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = GetProcedure<SetDefaultDllDirectoriesFn>(
        ::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return true;
    }
    ::SetDllDirectoryW(L"");
    return false;
}

namespace {

void NTAPI LockDownAtLoad(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        LockDownLibrarySearch();
    }
}

}  // namespace

}  // namespace hf

// The loader calls the callbacks of the image's TLS directory before its entry point; the C
// runtime's constructors run after that, and the stack protector's among them takes its canary
// from CryptoAPI, whose provider imports libraries by bare name. mingw's TLS directory
// (_tls_used) lists what lies between its .CRT$XLA and .CRT$XLZ markers in name order, so this
// one in .CRT$XLB is the first code of the image to run.
extern "C" {
[[gnu::section(".CRT$XLB"), gnu::used]] const PIMAGE_TLS_CALLBACK hfLockDownAtLoad =
    hf::LockDownAtLoad;
}
