#include "platform/Errors.h"

#include "platform/System.h"
#include "platform/Text.h"

#include <cstdio>

namespace hf {

Exception::Exception(std::wstring message)
    : message_(std::move(message)), utf8_(Utf16ToUtf8(message_)) {}

std::wstring OSErrorMessage(std::uint32_t code, const std::wstring& systemText) {
    if (code == 0) {
        return L"A call to an OS function failed";
    }
    return L"System Error.  Code: " + std::to_wstring(code) + L".\r\n" + systemText;
}

void RaiseOSError(SystemApi& system, std::uint32_t code) {
    throw EOSError(
        code, OSErrorMessage(code, code == 0 ? std::wstring() : SystemErrorText(system, code)));
}

void RaiseLastOSError(SystemApi& system) {
    RaiseOSError(system, system.GetLastError());
}

std::wstring OleErrorMessage(std::int32_t hr, const std::wstring& description,
                             const std::wstring& systemText) {
    std::wstring message = TrimTrailing(description);
    if (message.empty()) {
        message = TrimTrailing(systemText);
    }
    if (message.empty()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "OLE error %.8X", static_cast<unsigned>(hr));
        message = Utf8ToUtf16(buffer);
    }
    return message;
}

std::wstring SystemErrorText(SystemApi& system, std::uint32_t code) {
    return TrimTrailing(system.FormatMessageW(code));
}

}  // namespace hf
