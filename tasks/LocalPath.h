#pragma once
// Which paths from a task may be touched at all. Any user can register a task, and the sweep
// reads every task with administrator rights: a path that leaves the local disks would make the
// tool authenticate elsewhere as the administrator (a share), hand its token to whoever serves
// a pipe, or depend on the tool's current folder. Such a path is passed over before the first
// file-system call, since the version and attribute reads cannot say how they may be served.

#include "platform/Files.h"

#include <string_view>

namespace hf {

// Why `path` may not be touched, from its text alone: "not on a local fixed disk" (no drive
// letter, ':' and '\' or '/' at its start: UNC, device, pipe, "\\?\", relative and
// drive-relative paths; or a second ':', a stream), "a device name" (its last component is CON,
// NUL, COM1.dll, ...); empty when its text is fine.
std::wstring_view LocalPathProblem(std::wstring_view path);

// Whether `path` passes LocalPathProblem and lies on a drive GetDriveTypeW calls DRIVE_FIXED.
bool IsLocalFixedPath(FileApi& files, std::wstring_view path);

}  // namespace hf
