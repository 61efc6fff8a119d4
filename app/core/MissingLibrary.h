#pragma once
// The one failure before the run can start: a library the program loads from the system folder
// at run time could not be loaded.

#include "platform/System.h"

#include <cstdint>
#include <string>

namespace hf {

// The error prefix, the library's name and the system's error: "에러발생 재부팅 후 다시시도하세요 :
// " "version.dll: System Error.  Code: 126.\r\n<the system's text>". Shown instead of the window,
// which then does not open: a run without the library would find nothing.
std::wstring MissingLibraryMessage(SystemApi& system, const std::wstring& library,
                                   std::uint32_t code);

}  // namespace hf
