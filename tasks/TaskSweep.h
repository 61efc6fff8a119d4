#pragma once
// The scheduled-task sweep: every registered task in every folder, hidden ones included, passes
// through the script-host rule and the Exec-action rules. Tasks are read, never changed.

#include "platform/Com.h"
#include "platform/Platform.h"

#include <string>

namespace hf {

// Initialises COM for the calling thread, connects to the local Task Scheduler and walks every
// folder from the root. Does nothing, silently, when COM cannot be initialised or there is no
// scheduler object; any other failed call raises EOleException, with COM uninitialised.
void SweepScheduledTasks(const Platform& platform);

// The folder's tasks in collection order, then each subfolder's whole subtree in turn.
void SweepTaskFolder(const Platform& platform, TaskFolder& folder);

// True when the definition names a user account (a UserId beginning "S-1-5-21-", in any case)
// and has an Exec action running CSCRIPT.EXE with ".VBS" in its arguments.
bool IsUserScriptTask(const Platform& platform, RegisteredTask& task);

// Deletes the file named by the first Exec action's Arguments, quotes removed, when that text
// contains "WindowsPowerShell" (exact case).
void DeleteScriptPayload(const Platform& platform, const std::wstring& xml);

}  // namespace hf
