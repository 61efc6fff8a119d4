#pragma once
// Text and numbers as Windows stores them in raw data (registry values, version resources, task
// files): UTF-16 code units, little-endian. The one encoder the fakes, the case tables of both
// rings and the fuzz seeds build raw data with; header-only, so the Wine ring has it too.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hf::test {

using Bytes = std::vector<std::uint8_t>;

// `text` as UTF-16 code units: where wchar_t is 32-bit, a character beyond the BMP becomes its
// surrogate pair; 16-bit units pass unchanged.
inline std::u16string Utf16Units(std::wstring_view text) {
    std::u16string units;
    for (wchar_t c : text) {
        auto cp = static_cast<std::uint32_t>(c);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(cp));
        }
    }
    return units;
}

// Appends `units`, each low byte first.
inline void AppendUtf16Le(Bytes& out, std::u16string_view units) {
    for (char16_t unit : units) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

// `text` as UTF-16LE bytes (a REG_SZ value's data), with the terminating NUL unless `terminate`
// is false.
inline Bytes Utf16Le(std::wstring_view text, bool terminate = true) {
    Bytes bytes;
    AppendUtf16Le(bytes, Utf16Units(text));
    if (terminate) {
        bytes.insert(bytes.end(), {0, 0});
    }
    return bytes;
}

// The four little-endian bytes of a 32-bit value (a REG_DWORD).
inline Bytes Le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

}  // namespace hf::test
