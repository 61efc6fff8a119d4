#pragma once
// What a path really reaches. A 32-bit process on 64-bit Windows sees its own System32 as the
// SysWOW64 folder and the native System32 only through the "Sysnative" alias; the system itself
// (the final path of an open file, the deletions carried out at the restart) names the real
// folders. A native process sees what it names.

#include "platform/Files.h"

#include <string>

namespace hf {

struct SystemView {
    bool wow64 = false;          // a 32-bit process on 64-bit Windows
    std::wstring windowsFolder;  // the folder holding the 32-bit system folder ("C:\Windows")
    std::wstring wow64Folder;    // the 32-bit system folder ("C:\Windows\SysWOW64")
};

// The calling process's view, through the seam. A process that cannot tell, or has no 32-bit
// system folder, is taken as native: its System32 and Sysnative paths then fail every check
// against the final path, which only ever means a file left alone.
SystemView ReadSystemView(FileApi& files);

// `fullPath` (absolute, no ".." segment) as the system names it. For a WoW64 view:
// <windows>\System32 and what lies below it → the 32-bit system folder and below, but for the
// folders WoW64 does not redirect (catroot, catroot2, driverstore, drivers\etc, logfiles, spool),
// which stay native; <windows>\Sysnative and below → <windows>\System32 and below; the folder
// names compared as the file system does. Otherwise `fullPath` unchanged.
std::wstring MapToSystemView(FileApi& files, const SystemView& view, const std::wstring& fullPath);

}  // namespace hf
