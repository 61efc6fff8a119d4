#pragma once
// The third stage of the cleaning run: finds the filter driver's files by the name their version
// resource gives, whatever they are called on disk, and removes every service that loads one.

#include "platform/Platform.h"
#include "platform/StringList.h"
#include "services/ServiceControl.h"

#include <string>

namespace hf {

// The bare names, in search order, of the files in the native drivers folder (<Windows
// folder>\Sysnative\drivers for a 32-bit process on 64-bit Windows, <Windows
// folder>\System32\drivers for any other) matching
// "*.sys" (directories excluded) whose version resource's "OriginalFileName" equals `name`
// exactly. A file that cannot be read is passed over; raises nothing for one.
TStringList FindDriversByOriginalName(const Platform& platform, const std::wstring& name);

// For each file found for "hfFilter.sys", every service key under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services whose "ImagePath" is
// "system32\drivers\" + that file name (a to z folded, everything else exact) is deleted with
// its subkeys, its start is disabled, and it is marked for deletion and stopped. An exception
// from reading an "ImagePath" or from StopService ends the sweep and travels on. The stops wait
// within `budget`, the run's one budget for its service waits.
void RemoveDriverServices(const Platform& platform, StopWaitBudget& budget);

}  // namespace hf
