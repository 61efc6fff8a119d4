#pragma once
// Libraries the program loads itself, taken from the system folder only: never from the
// program's own folder or the current directory, where anyone who can write there (a browser's
// download, the infection itself) could have put a library of the same name.

#include "platform/win32/Win32Handles.h"

#include <windows.h>

namespace hf {

// Whether LoadLibraryExW takes the LOAD_LIBRARY_SEARCH_* flags: Windows 8 and later, and
// Windows 7 with update KB2533623, which is known by its export SetDefaultDllDirectories.
bool LibrarySearchFlagsAvailable();

// Loads `name` (a bare file name such as L"version.dll") from the system folder: with
// LOAD_LIBRARY_SEARCH_SYSTEM32 where it exists, else by its full path in GetSystemDirectoryW with
// LOAD_WITH_ALTERED_SEARCH_PATH (so that its own dependencies are searched from there too).
// A side-by-side assembly of the program's manifest still takes precedence for its files, as
// for every load by name. Empty with the last error set when it cannot be loaded.
UniqueLibrary LoadSystemLibrary(const wchar_t* name);

}  // namespace hf
