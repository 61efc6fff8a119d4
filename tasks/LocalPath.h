#pragma once
// Which paths from a task may be touched at all. Any user can register a task, and the sweep
// reads every task with administrator rights: a path that leaves the local disks would make the
// tool authenticate elsewhere as the administrator (a share), hand its token to whoever serves
// a pipe, or depend on the tool's current folder. Such a path is passed over before the first
// file-system call, since the version and attribute reads cannot say how they may be served.

#include "platform/Files.h"

#include <string_view>

namespace hf {

// Whether `path` is absolute on a local fixed drive: a drive letter, ':', then '\' or '/', on a
// drive GetDriveTypeW calls DRIVE_FIXED, with no second ':' (no stream) and a last component
// that is no DOS device name (CON, NUL, COM1.dll, ...). UNC, device, pipe, "\\?\", relative and
// drive-relative paths are refused from their text alone, without any call.
bool IsLocalFixedPath(FileApi& files, std::wstring_view path);

// Whether no component of `path` (one IsLocalFixedPath accepts) is a link (a reparse point:
// junction, mount point, symbolic link). Each folder on the way, then the last component, is
// opened in turn for its attributes only, without following its own link, so the walk stops at
// the first link and never passes through it: a folder a user owns may be a junction to an object
// that leads to a share, and the existence test, the version read and the short-name expansion
// would follow it there. False also when a component cannot be opened. (Wine shows no reparse
// attribute on a Unix link; the deletion's final-path check still refuses one.)
bool HasNoLinkOnTheWay(FileApi& files, std::wstring_view path);

}  // namespace hf
