#pragma once
// Text rules shared by every area: ASCII-only upper-casing, exact containment, the one
// UTF-16 <-> UTF-8 conversion, and message trimming.

#include <string>
#include <string_view>

namespace hf {

// Upper-cases the letters a to z only; every other character stays as it is.
std::wstring UpperCase(std::wstring_view text);

// Equal after UpperCase of both sides: only a-z fold, everything else must match exactly.
bool SameTextAZ(std::wstring_view a, std::wstring_view b);

// Exact, case-sensitive substring test.
inline bool Contains(std::wstring_view text, std::wstring_view part) {
    return text.find(part) != std::wstring_view::npos;
}

// UTF-16 (or, where wchar_t is 32-bit, UTF-32) to UTF-8. A lone surrogate becomes U+FFFD, as
// WideCharToMultiByte does, so the result is always valid UTF-8.
std::string Utf16ToUtf8(std::wstring_view text);

// UTF-8 to the platform's wide text; an invalid sequence becomes U+FFFD.
std::wstring Utf8ToUtf16(std::string_view text);

// UTF-16 code units as the platform's wide text: unchanged where wchar_t is 16-bit; where it is
// 32-bit each surrogate pair becomes the code point it encodes and a lone surrogate stays as it is.
std::wstring WideFromUtf16Units(std::u16string_view units);

// Removes trailing blanks, control characters and full stops (for texts inside messages).
std::wstring TrimTrailing(std::wstring_view text);

}  // namespace hf
