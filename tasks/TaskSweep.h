#pragma once
// The scheduled-task sweep: every registered task in every folder, hidden ones included, passes
// through the script-host rule and the Exec-action rules. Tasks are read, never changed.

#include "platform/Com.h"
#include "platform/Platform.h"

#include <string>

namespace hf {

class PayloadLedger;
class TaskPayloads;

// Initialises COM for the calling thread, connects to the local Task Scheduler and walks every
// folder from the root, noting in `ledger` the payloads it found and the candidates it passed
// over. Does nothing, silently, when COM cannot be initialised or there is no scheduler object;
// any other failed call raises EOleException, with COM uninitialised.
void SweepScheduledTasks(const Platform& platform, PayloadLedger& ledger);

// The folder's tasks in collection order, then each subfolder's whole subtree in turn.
void SweepTaskFolder(TaskPayloads& payloads, TaskFolder& folder);

// True when the definition names a user account (a UserId beginning "S-1-5-21-", in any case)
// and has an Exec action running CSCRIPT.EXE with ".VBS" in its arguments.
// With `document`, the definition is loaded into it rather than into a document of its own.
bool IsUserScriptTask(const Platform& platform, RegisteredTask& task,
                      XmlDocument* document = nullptr);

// Deletes the script the first Exec action runs: when that action itself runs CSCRIPT.EXE with
// ".VBS" in its arguments, and those arguments, quotes removed, contain "WindowsPowerShell"
// (exact case) and end in ".vbs" (any case), they are the file's path.
void DeleteScriptPayload(TaskPayloads& payloads, const std::wstring& xml);

}  // namespace hf
