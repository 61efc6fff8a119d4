#pragma once
// The one way the task rules delete a file. The rules decide what to delete; this decides how,
// so that a path a task author wrote can reach nothing but the file it plainly names: no parent
// segment, no link anywhere on the way, and the deletion made through the very handle that was
// checked. A file in use is left to the next restart under the path the system sees.

#include "platform/Platform.h"

#include <string>
#include <string_view>

namespace hf {

enum class PayloadDeletionResult {
    kDeleted,             // gone now
    kScheduledAtRestart,  // in use: recorded in the system's list of deletions at the restart
    kPassedOver,          // absent, refused, not a plain file, or a path that fails the check
};

// Deletes the file at `path`. Passed over: a path off the local fixed disks (IsLocalFixedPath,
// before any other call); a path with a ".." segment ('\' and '/' both
// separate); a path whose open (DELETE, the last component not followed) is refused, finds no
// file, a folder, a link or a read-only file; a path whose final path (GetFinalPathNameByHandleW)
// is not its full path with short names expanded and WoW64 mapped (compared ignoring case as the
// file system does). The checked file is deleted through its handle. In use, the checked path is
// scheduled (MoveFileExW, MOVEFILE_DELAY_UNTIL_REBOOT): when the deletion through the checked
// handle is refused (5, a loaded library), or the open fails with 32 (held without delete
// sharing) and a handle that only reads attributes passes the same check. Every open carries
// SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION. Never raises; every
// failure, a failed scheduling too, is silent.
PayloadDeletionResult DeletePayload(const Platform& platform, const std::wstring& path);

// Whether `path` has a ".." segment between separators ('\' or '/') or at either end.
bool HasParentSegment(std::wstring_view path);

}  // namespace hf
