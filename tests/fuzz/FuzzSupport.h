#pragma once
// What every fuzz target shares: turning the fuzzer's bytes into wide text, a readable form of
// wide text for failure messages, and the check that stops the run with a message (libFuzzer
// then keeps the input as a crash).
//
// Wide text from bytes: the bytes are read as UTF-8, so seeds are plain text files; on top of
// that, 0xFF followed by two bytes is one raw UTF-16 code unit (low byte first), so the fuzzer
// can also write NULs, lone surrogates and anything else; a byte that starts no valid UTF-8
// sequence stands for U+0000..U+00FF. Where wchar_t is 32-bit a high surrogate followed by a
// low one is joined into one code point, as the product's conversions do, so every text is one
// the product could have been handed.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace hf::fuzz {

inline bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
inline char32_t CodeOf(wchar_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        return static_cast<char32_t>(static_cast<std::uint16_t>(c));
    } else {
        return static_cast<char32_t>(static_cast<std::uint32_t>(c));
    }
}

// The length of the well-formed UTF-8 sequence at `at` (no overlong forms, no surrogates,
// nothing above U+10FFFF), with its code point; 0 when none starts there.
inline std::size_t Utf8SequenceAt(std::string_view bytes, std::size_t at, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, cp = b0 & 0x1Fu, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, cp = b0 & 0x0Fu, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, cp = b0 & 0x07u, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(bytes[at + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
        return 0;
    }
    return length;
}

inline bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t length = Utf8SequenceAt(bytes, i, cp);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// Appends one code point as wide text (a surrogate pair where wchar_t is 16-bit).
inline void AppendCodePoint(std::wstring& out, char32_t cp) {
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        return;
    }
    out.push_back(static_cast<wchar_t>(cp));
}

// Where wchar_t is 32-bit: each high surrogate directly followed by a low one becomes the one
// code point they encode; everything else stays. Unchanged where wchar_t is 16-bit.
inline std::wstring JoinPairs(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == 2) {
        return std::wstring(text);
    }
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = CodeOf(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(CodeOf(text[i + 1]))) {
            const char32_t low = CodeOf(text[i + 1]);
            out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)));
            ++i;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

// See the comment at the top of this file.
inline std::wstring WideText(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0xFF && i + 2 < bytes.size()) {
            const auto low = static_cast<unsigned char>(bytes[i + 1]);
            const auto high = static_cast<unsigned char>(bytes[i + 2]);
            out.push_back(static_cast<wchar_t>(low | (high << 8)));
            i += 3;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = Utf8SequenceAt(bytes, i, cp);
        if (length == 0) {
            out.push_back(static_cast<wchar_t>(b));
            ++i;
            continue;
        }
        AppendCodePoint(out, cp);
        i += length;
    }
    return JoinPairs(out);
}

// Wide text as printable ASCII for messages, in C-like quotes: \\ and \" escaped, \uXXXX for
// everything outside ' '..'~'.
inline std::string Show(std::wstring_view text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        const char32_t cp = CodeOf(c);
        if (cp == '\\' || cp == '"') {
            out.push_back('\\');
            out.push_back(static_cast<char>(cp));
        } else if (cp >= 0x20 && cp < 0x7F) {
            out.push_back(static_cast<char>(cp));
        } else {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(cp));
            out += escaped;
        }
    }
    return out + "\"";
}

inline std::string Show(const std::vector<std::wstring>& texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out += (i > 0 ? ", " : "") + Show(texts[i]);
    }
    return out + "]";
}

// Stops the run: libFuzzer reports the abort as a crash and saves the input.
[[noreturn]] inline void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\n==== fuzz check failed at %s:%d\n%s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace hf::fuzz

// Checks an invariant; the message (a std::string expression) is built only on failure.
#define HF_FUZZ_CHECK(condition, message)                    \
    do {                                                     \
        if (!(condition)) {                                  \
            ::hf::fuzz::Fail(__FILE__, __LINE__, (message)); \
        }                                                    \
    } while (false)
