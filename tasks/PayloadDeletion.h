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
// before any other call); a path with a link on the way (HasNoLinkOnTheWay, before any call that
// follows one); a path with a ".." segment ('\' and '/' both separate); a path whose
// open (DELETE, the last component not followed) is refused, finds no file, a folder, a link or
// a read-only file; a path whose final path (GetFinalPathNameByHandleW) is not its full path
// with short names expanded and WoW64 mapped (compared ignoring case as the file system does).
// The checked file is deleted through its handle. Every open carries SECURITY_SQOS_PRESENT |
// SECURITY_IDENTIFICATION. In use, the file is left to the restart (MoveFileExW,
// MOVEFILE_DELAY_UNTIL_REBOOT) under a path that names it then:
// - deletion through the checked handle refused (5, a loaded library): the file is first renamed
//   through that handle to "<its name>.<16 random hex digits>" in its folder, never replacing a
//   file (another name is drawn on a collision, up to 8), and the new name, checked again
//   through the handle, is recorded; a refused rename passes it over;
// - the open fails with 32 (held without delete sharing, so no rename is possible either): a
//   handle that only reads attributes must pass the same check, and every folder above the file
//   must be no link and changeable by trusted accounts only (FolderTrust.h); its path is then
//   recorded, otherwise it is passed over.
// Never raises; every failure, a failed scheduling too, is silent.
PayloadDeletionResult DeletePayload(const Platform& platform, const std::wstring& path);

// Whether `path` has a ".." segment between separators ('\' or '/') or at either end.
bool HasParentSegment(std::wstring_view path);

}  // namespace hf
