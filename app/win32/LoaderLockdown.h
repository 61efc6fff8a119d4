#pragma once
// The program is started, often as administrator, from wherever it was downloaded: anything
// beside it or in the current directory may have been put there by someone else. Its static
// imports are KnownDLLs, which the loader takes from the system only; everything loaded later
// must come from the system folder too.

namespace hf {

// Limits the library search of this process to the system folder: SetDefaultDllDirectories(
// LOAD_LIBRARY_SEARCH_SYSTEM32) where it exists (looked up at run time: Windows 7 has it only with
// KB2533623); else SetDllDirectoryW(L"") takes the current directory out of the search, and
// LoadSystemLibrary (platform/win32/SystemLibrary.h) names the system folder in full. The very
// first thing wWinMain does. Returns whether the search flags are in force.
bool LockDownLibrarySearch();

}  // namespace hf
