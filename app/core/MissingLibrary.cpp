#include "app/core/MissingLibrary.h"

#include "app/core/CleaningRun.h"
#include "platform/Errors.h"

namespace hf {

std::wstring MissingLibraryMessage(SystemApi& system, const std::wstring& library,
                                   std::uint32_t code) {
    return kErrorPrefix + library + L": " + OSErrorMessage(code, SystemErrorText(system, code));
}

}  // namespace hf
