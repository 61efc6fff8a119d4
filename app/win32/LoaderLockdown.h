#pragma once
// The program is started, often as administrator, from wherever it was downloaded: anything
// beside it or in the current directory may have been put there by someone else. Its static
// imports are KnownDLLs, which the loader takes from the system only; everything loaded later
// must come from the system folder too.

namespace hf {

// Limits the library search of this process to the system folder: SetDefaultDllDirectories(
// LOAD_LIBRARY_SEARCH_SYSTEM32) where it exists (looked up at run time: Windows 7 has it only with
// KB2533623); else SetDllDirectoryW(L"") takes the current directory out of the search, and
// LoadSystemLibrary (platform/win32/SystemLibrary.h) names the system folder in full. Returns
// whether the search flags are in force.
// LoaderLockdown.cpp calls it from a TLS callback, before any other code of the image runs (the C
// runtime's constructors load libraries before wWinMain): that file belongs to the program
// itself, not to a library it links, so the callback cannot be left out.
bool LockDownLibrarySearch();

}  // namespace hf
