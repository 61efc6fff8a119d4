#pragma once
// The command line's modes other than the window: the quiet run for deployment tools, the usage
// text, a bad command line. Called first thing by wWinMain.

#include <optional>
#include <string>

namespace hf {

// Reads the command line and, unless it asks for the window (no option), does what it asks and
// returns the process's exit code; nothing when the window is to run. `title` is the caption of
// the usage box that /? shows outside the quiet mode.
std::optional<int> RunUnattended(const std::wstring& title);

}  // namespace hf
