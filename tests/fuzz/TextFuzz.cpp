// Fuzz target: the one UTF-16 <-> UTF-8 conversion and the other text helpers.
//
// The same bytes are read three ways:
//   - as UTF-8: Utf8ToUtf16 must decode every well-formed sequence and give U+FFFD for each
//     byte that starts none (then go on with the next byte); for well-formed input the way
//     back gives the same bytes;
//   - as UTF-16 code units (two bytes each, low first): Utf16ToUtf8 must give well-formed UTF-8,
//     a surrogate pair as its code point and each lone surrogate as U+FFFD, and the way back
//     gives the text with lone surrogates replaced;
//   - where wchar_t is 32-bit, as 32-bit values: anything above U+10FFFF becomes U+FFFD too.
// UpperCase, SameTextAZ and TrimTrailing are checked on the decoded text.

#include "FuzzSupport.h"

#include "platform/Text.h"

namespace {

using hf::fuzz::CodeOf;
using hf::fuzz::IsHighSurrogate;
using hf::fuzz::IsLowSurrogate;
using hf::fuzz::Show;

constexpr char32_t kReplacement = 0xFFFD;

std::string ShowBytes(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", b);
        out += hex;
    }
    return out;
}

// One code point's UTF-8 form, read off the encoding's table: the range gives the number of
// continuation bytes and the lead byte's marker; the six-bit groups fill in from the end.
std::string Utf8Of(char32_t cp) {
    static constexpr char32_t kLimits[] = {0x80, 0x800, 0x10000};
    static constexpr unsigned char kMarkers[] = {0x00, 0xC0, 0xE0, 0xF0};
    std::size_t tail = 0;
    while (tail < 3 && cp >= kLimits[tail]) {
        ++tail;
    }
    std::string bytes(tail + 1, '\0');
    for (std::size_t k = tail; k > 0; --k, cp >>= 6) {
        bytes[k] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    bytes[0] = static_cast<char>(kMarkers[tail] | cp);
    return bytes;
}

// The code points a wide text stands for: pairs joined, lone surrogates and values beyond
// U+10FFFF as U+FFFD.
std::u32string CodePoints(std::wstring_view text) {
    std::u32string points;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = CodeOf(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(CodeOf(text[i + 1]))) {
            points.push_back(0x10000 + ((c - 0xD800) << 10) + (CodeOf(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
            points.push_back(kReplacement);
        } else {
            points.push_back(c);
        }
    }
    return points;
}

std::string ExpectedUtf8(std::wstring_view text) {
    std::string out;
    for (char32_t cp : CodePoints(text)) {
        out += Utf8Of(cp);
    }
    return out;
}

std::wstring ExpectedWide(const std::u32string& points) {
    std::wstring out;
    for (char32_t cp : points) {
        hf::fuzz::AppendCodePoint(out, cp);
    }
    return out;
}

// Bytes read as UTF-8 with one U+FFFD per byte that starts no well-formed sequence.
std::wstring ExpectedDecode(std::string_view bytes) {
    std::u32string points;
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t length = hf::fuzz::Utf8SequenceAt(bytes, i, cp);
        points.push_back(length == 0 ? kReplacement : cp);
        i += length == 0 ? 1 : length;
    }
    return ExpectedWide(points);
}

void CheckEncode(std::wstring_view text) {
    const std::string utf8 = hf::Utf16ToUtf8(text);
    HF_FUZZ_CHECK(hf::fuzz::IsValidUtf8(utf8),
                  "Utf16ToUtf8(" + Show(text) + ") is not well-formed: " + ShowBytes(utf8));
    const std::string expected = ExpectedUtf8(text);
    HF_FUZZ_CHECK(utf8 == expected, "Utf16ToUtf8(" + Show(text) + ") gave " + ShowBytes(utf8) +
                                        ", expected " + ShowBytes(expected));
    const std::wstring back = hf::Utf8ToUtf16(utf8);
    const std::wstring expectedBack = ExpectedWide(CodePoints(text));
    HF_FUZZ_CHECK(back == expectedBack, "round trip of " + Show(text) + " gave " + Show(back) +
                                            ", expected " + Show(expectedBack));
}

void CheckCase(std::wstring_view text) {
    const std::wstring upper = hf::UpperCase(text);
    HF_FUZZ_CHECK(upper.size() == text.size(), "UpperCase changed the length of " + Show(text));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const wchar_t want = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        HF_FUZZ_CHECK(upper[i] == want, "UpperCase(" + Show(text) + ") gave " + Show(upper));
    }
    HF_FUZZ_CHECK(hf::SameTextAZ(text, upper) && hf::SameTextAZ(upper, text),
                  "SameTextAZ rejects " + Show(text) + " against its upper case");
}

void CheckTrim(std::wstring_view text) {
    const std::wstring trimmed = hf::TrimTrailing(text);
    auto trimmable = [](wchar_t c) { return CodeOf(c) <= 0x20 || c == L'.'; };
    HF_FUZZ_CHECK(text.starts_with(trimmed), "TrimTrailing is not a prefix of " + Show(text));
    HF_FUZZ_CHECK(trimmed.empty() || !trimmable(trimmed.back()),
                  "TrimTrailing(" + Show(text) + ") left " + Show(trimmed));
    for (std::size_t i = trimmed.size(); i < text.size(); ++i) {
        HF_FUZZ_CHECK(trimmable(text[i]), "TrimTrailing(" + Show(text) + ") removed too much");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // As UTF-8.
    const std::wstring decoded = hf::Utf8ToUtf16(bytes);
    const std::wstring expectedDecoded = ExpectedDecode(bytes);
    HF_FUZZ_CHECK(decoded == expectedDecoded, "Utf8ToUtf16(" + ShowBytes(bytes) + ") gave " +
                                                  Show(decoded) + ", expected " +
                                                  Show(expectedDecoded));
    if (hf::fuzz::IsValidUtf8(bytes)) {
        HF_FUZZ_CHECK(hf::Utf16ToUtf8(decoded) == bytes,
                      "well-formed " + ShowBytes(bytes) + " did not survive the round trip");
    }
    CheckEncode(decoded);
    CheckCase(decoded);
    CheckTrim(decoded);

    // As UTF-16 code units, one wchar_t each (not joined, so lone and paired surrogates both
    // reach the conversion as they would on Windows).
    std::wstring units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    CheckEncode(units);
    CheckCase(units);
    CheckTrim(units);

    // As 32-bit values where wchar_t holds them.
    if constexpr (sizeof(wchar_t) == 4) {
        std::wstring wide;
        for (std::size_t i = 0; i + 3 < size; i += 4) {
            const std::uint32_t value = data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) |
                                        (static_cast<std::uint32_t>(data[i + 3]) << 24);
            wide.push_back(static_cast<wchar_t>(value));
        }
        CheckEncode(wide);
    }
    return 0;
}
