#pragma once
// The application title, shown as the caption of the plain message box.

#include <string>
#include <string_view>

namespace hf {

// The program file's name without its folder, cut at its first full stop, with its first
// character unchanged and the letters A to Z after it lower-cased ("C:\x\HFRemove.exe" gives
// "Hfremove"). Folders end at '\', '/' or a drive's ':'.
std::wstring ApplicationTitle(std::wstring_view programPath);

}  // namespace hf
