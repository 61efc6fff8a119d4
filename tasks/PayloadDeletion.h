#pragma once
// The one way the task rules delete a file. The rules decide what to delete; this decides how,
// so that a path a task author wrote can reach nothing but the file it plainly names, and so that
// nothing the infection can set on its own file (an attribute) keeps it. The deletion is made
// through the very handle the file was examined through (CandidateFile.h); a file in use is left
// to the next restart under the path the system sees.

#include "platform/Platform.h"
#include "tasks/CandidateFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace hf {

enum class PayloadDeletionResult {
    kDeleted,             // gone now
    kScheduledAtRestart,  // in use: recorded in the system's list of deletions at the restart
    kKept,                // there, and it stays: the system refused (the outcome's error says why)
    kPassedOver,          // not examined: absent, no plain file, or a path that fails the checks
};

struct PayloadOutcome {
    PayloadDeletionResult result = PayloadDeletionResult::kPassedOver;
    std::uint32_t error = 0;  // kKept: the system's error for why it stays
};

// Deletes the open candidate through its handle. A read-only attribute is cleared first
// (through the handle; attributes the deletion does not mind, hidden and system, stay as they
// are); when the deletion still fails, the attribute is set again, so a file that stays is left
// as it was. In use, the file is left to the restart (MoveFileExW, MOVEFILE_DELAY_UNTIL_REBOOT)
// under a path that names it then:
// - deletion through the handle refused (5, a loaded library): the file is first renamed through
//   that handle, in its held folder, to "<its name>.<16 random hex digits>", never replacing a
//   file (another name is drawn on a collision, up to 8); the new name, checked through the
//   handle, is recorded, and the read-only attribute stays cleared for the deletion at boot;
// - the open for deletion refused with 32 (held without delete sharing, so no rename either):
//   every folder above the file, held since the walk, must be changeable by trusted accounts
//   only (FolderTrust.h); its path is then recorded.
// Anything else keeps the file: kKept with the system's error. Never raises.
PayloadOutcome DeletePayload(const Platform& platform, Candidate& candidate);

// Examines `path` with folders of its own and deletes it as above (kPassedOver when it is not an
// open plain file after the examination).
PayloadOutcome DeletePayload(const Platform& platform, const std::wstring& path);

// Whether `path` has a ".." segment between separators ('\' or '/') or at either end.
bool HasParentSegment(std::wstring_view path);

}  // namespace hf
