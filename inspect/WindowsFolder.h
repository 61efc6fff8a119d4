#pragma once
// The Windows directory as the shell reports it.

#include "platform/Platform.h"

#include <string>

namespace hf {

// The path of the Windows directory exactly as the shell gives it (no separator added or
// removed); empty text unless the shell returns exactly S_OK.
std::wstring GetWindowsFolder(const Platform& platform);

}  // namespace hf
