#include "tests/fakes/FakeSystem.h"

namespace hf::fake {

FakeSystem::FakeSystem() {
    // The texts Windows gives for the codes the tests meet.
    messages[2] = L"The system cannot find the file specified.\r\n";
    messages[5] = L"Access is denied.\r\n";
    messages[6] = L"The handle is invalid.\r\n";
    messages[1060] = L"The specified service does not exist as an installed service.\r\n";
    messages[1062] = L"The service has not been started.\r\n";
    messages[1812] = L"The specified image file did not contain a resource section.\r\n";
    messages[1813] = L"The specified resource type cannot be found in the image file.\r\n";
    messages[0x80070005] = L"Access is denied.\r\n";
}

void FakeSystem::Sleep(std::uint32_t milliseconds) {
    sleeps.push_back(milliseconds);
    now += milliseconds;
    for (auto& callback : onSleep) {
        callback(now);
    }
}

std::wstring FakeSystem::FormatMessageW(std::uint32_t code) {
    auto it = messages.find(code);
    return it == messages.end() ? std::wstring() : it->second;
}

bool FakeSystem::WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags,
                                     std::wstring_view text, std::string& bytes,
                                     bool& usedDefaultChar) {
    bytes.clear();
    usedDefaultChar = false;
    if (codePage != 437) {
        lastError = 87;  // ERROR_INVALID_PARAMETER
        return false;
    }
    for (const wchar_t c : text) {
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c == L'\u00E9') {
            bytes += '\x82';
        } else if (c == L'\u0100' && (flags & kWcNoBestFitChars) == 0) {
            bytes += 'A';
        } else {
            bytes += '?';
            usedDefaultChar = true;
        }
    }
    return true;
}

}  // namespace hf::fake
