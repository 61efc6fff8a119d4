#pragma once
// Where the lab scheduler registers itself: the in-process server key of the Task Scheduler
// class below HKEY_LOCAL_MACHINE, put together at compile time from the class id the product
// creates (platform/Com.h), so the id is written once.

#include "platform/Com.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace hf::lab {

namespace detail {
inline constexpr std::wstring_view kServerKeyParts[] = {L"Software\\Classes\\CLSID\\",
                                                        kTaskSchedulerClassId, L"\\InprocServer32"};
constexpr std::size_t ServerKeyLength() {
    std::size_t length = 0;
    for (std::wstring_view part : kServerKeyParts) {
        length += part.size();
    }
    return length;
}
}  // namespace detail

// "Software\Classes\CLSID\{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}\InprocServer32", NUL-terminated.
inline constexpr auto kServerKeyText = [] {
    std::array<wchar_t, detail::ServerKeyLength() + 1> text{};
    std::size_t at = 0;
    for (std::wstring_view part : detail::kServerKeyParts) {
        for (wchar_t c : part) {
            text[at++] = c;
        }
    }
    return text;
}();
inline constexpr const wchar_t* kServerKey = kServerKeyText.data();

}  // namespace hf::lab
