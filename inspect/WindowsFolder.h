#pragma once
// The Windows directory of the system.

#include "platform/Platform.h"

#include <string>

namespace hf {

// The system's shared Windows folder exactly as GetSystemWindowsDirectoryW gives it (no separator
// added or removed); empty text when it cannot be read. Not the shell's CSIDL_WINDOWS, nor
// GetWindowsDirectoryW: on a Terminal Server (a Remote Desktop host) those may give a program
// that is not Terminal-Server aware a private folder per user, which the driver sweep must not
// read in place of the system's.
std::wstring GetWindowsFolder(const Platform& platform);

}  // namespace hf
