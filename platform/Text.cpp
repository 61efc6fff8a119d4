#include "platform/Text.h"

#include <cstdint>
#include <type_traits>

namespace hf {

std::wstring UpperCase(std::wstring_view text) {
    std::wstring result(text);
    for (auto& c : result) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return result;
}

bool SameTextAZ(std::wstring_view a, std::wstring_view b) {
    return a == b || UpperCase(a) == UpperCase(b);
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendWide(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

}  // namespace

std::string Utf16ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Mask to the wchar_t width so a 16-bit unit is never sign-extended.
        char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (IsHighSurrogate(c) && i + 1 < text.size()) {
            char32_t next =
                static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i + 1]));
            if (IsLowSurrogate(next)) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring WideFromUtf16Units(std::u16string_view units) {
    std::wstring out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t c = units[i];
        if (sizeof(wchar_t) == 4 && IsHighSurrogate(c) && i + 1 < units.size() &&
            IsLowSurrogate(units[i + 1])) {
            out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) +
                                               (static_cast<char32_t>(units[i + 1]) - 0xDC00)));
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

std::wstring Utf8ToUtf16(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (b0 < 0x80) {
            out.push_back(static_cast<wchar_t>(b0));
            ++i;
            continue;
        } else if ((b0 & 0xE0) == 0xC0) {
            length = 2, cp = b0 & 0x1F, minimum = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            length = 3, cp = b0 & 0x0F, minimum = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            length = 4, cp = b0 & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (b & 0x3F);
            }
        }
        if (valid && (cp < minimum || cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp))) {
            valid = false;
        }
        if (!valid) {
            AppendWide(out, kReplacement);
            ++i;  // resynchronise on the next byte
            continue;
        }
        AppendWide(out, cp);
        i += length;
    }
    return out;
}

std::wstring TrimTrailing(std::wstring_view text) {
    std::size_t end = text.size();
    while (end > 0 && (static_cast<std::make_unsigned_t<wchar_t>>(text[end - 1]) <= L' ' ||
                       text[end - 1] == L'.')) {
        --end;
    }
    return std::wstring(text.substr(0, end));
}

}  // namespace hf
