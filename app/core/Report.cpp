#include "app/core/Report.h"

#include "app/core/ExitCodes.h"
#include "platform/Text.h"

#include <algorithm>
#include <iterator>
#include <type_traits>

namespace hf {

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Every code point written escaped, sorted. The format characters (Cf) are Unicode 15's.
constexpr Range kEscaped[] = {
    {0x0000, 0x001F},        // Cc: C0 controls (tab, line feed, carriage return, ...)
    {0x0025, 0x0025},        // '%', the escape's own sign
    {0x007F, 0x009F},        // Cc: DEL and the C1 controls (U+0085, next line)
    {0x00AD, 0x00AD},        // Cf: soft hyphen
    {0x0600, 0x0605},        // Cf: Arabic number signs
    {0x061C, 0x061C},        // Cf: Arabic letter mark
    {0x06DD, 0x06DD},        // Cf: Arabic end of ayah
    {0x070F, 0x070F},        // Cf: Syriac abbreviation mark
    {0x0890, 0x0891},        // Cf: Arabic pound and piastre marks above
    {0x08E2, 0x08E2},        // Cf: Arabic disputed end of ayah
    {0x180E, 0x180E},        // Cf: Mongolian vowel separator
    {0x200B, 0x200F},        // Cf: zero-width space, non-joiner, joiner; LRM, RLM
    {0x2028, 0x2029},        // Zl, Zp: line and paragraph separators
    {0x202A, 0x202E},        // Cf: bidirectional embeddings and overrides
    {0x2060, 0x2064},        // Cf: word joiner, invisible operators
    {0x2066, 0x206F},        // Cf: bidirectional isolates, deprecated format characters
    {0xD800, 0xDFFF},        // a surrogate left unpaired
    {0xFEFF, 0xFEFF},        // Cf: zero-width no-break space (byte order mark)
    {0xFFF9, 0xFFFB},        // Cf: interlinear annotation
    {0x110BD, 0x110BD},      // Cf: Kaithi number sign
    {0x110CD, 0x110CD},      // Cf: Kaithi number sign above
    {0x13430, 0x1343F},      // Cf: Egyptian hieroglyph format controls
    {0x1BCA0, 0x1BCA3},      // Cf: shorthand format controls
    {0x1D173, 0x1D17A},      // Cf: musical symbol format controls
    {0xE0001, 0xE0001},      // Cf: language tag
    {0xE0020, 0xE007F},      // Cf: tag characters
    {0x110000, 0xFFFFFFFF},  // no code point (only a 32-bit wchar_t can hold one)
};
static_assert(std::ranges::is_sorted(kEscaped, {}, &Range::last));

bool IsEscaped(char32_t c) {
    const auto* range = std::ranges::lower_bound(kEscaped, c, {}, &Range::last);
    return range != std::end(kEscaped) && range->first <= c;
}

char32_t Unit(wchar_t c) {
    // Masked to wchar_t's width so a 16-bit unit is never sign-extended.
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
}

// The character at `text[at]` and how many wchar_t it takes: a surrogate pair is one character
// (as a 16-bit wchar_t holds it), anything else one unit, a lone surrogate included. So text
// gives the same characters whether wchar_t is 16 or 32 bits wide.
char32_t CharacterAt(std::wstring_view text, std::size_t at, std::size_t& length) {
    const char32_t c = Unit(text[at]);
    length = 1;
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size()) {
        const char32_t next = Unit(text[at + 1]);
        if (next >= 0xDC00 && next <= 0xDFFF) {
            length = 2;
            return 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
        }
    }
    return c;
}

constexpr char kHex[] = "0123456789ABCDEF";

template <typename Text>
void AppendHex(Text& out, char32_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        out += static_cast<typename Text::value_type>(kHex[(value >> shift) & 0xF]);
    }
}

// %uXXXX for each UTF-16 code unit of `c`; what no UTF-16 can hold as U+FFFD's.
template <typename Text>
void AppendUnitEscapes(Text& out, char32_t c) {
    const auto unit = [&out](char32_t value) {
        out += static_cast<typename Text::value_type>('%');
        out += static_cast<typename Text::value_type>('u');
        AppendHex(out, value, 4);
    };
    if (c > 0x10FFFF) {
        unit(0xFFFD);
    } else if (c >= 0x10000) {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        unit(c);
    }
}

}  // namespace

std::wstring EscapeReportField(std::wstring_view text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t c = CharacterAt(text, at, length);
        if (!IsEscaped(c)) {
            escaped += text.substr(at, length);
        } else if (c < 0x100) {
            escaped += L'%';
            AppendHex(escaped, c, 2);
        } else {
            AppendUnitEscapes(escaped, c);
        }
    }
    return escaped;
}

std::string ReportEncoding::Bytes(std::wstring_view text) const {
    if (system_ == nullptr) {
        return Utf16ToUtf8(text);
    }
    std::string bytes;
    bool usedDefault = false;
    if (system_->WideCharToMultiByte(codePage_, kWcNoBestFitChars, text, bytes, usedDefault) &&
        !usedDefault) {
        return bytes;
    }
    // Some character has no exact equivalent, or the code page is refused: character by
    // character, so only those are escaped. Whether one converted is what the call says, never
    // the number of bytes (a double-byte code page writes two for a character it has).
    std::string out;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t c = CharacterAt(text, at, length);
        const bool converted = system_->WideCharToMultiByte(
            codePage_, kWcNoBestFitChars, text.substr(at, length), bytes, usedDefault);
        if (converted && !usedDefault) {
            out += bytes;
        } else if (!converted && c < 0x80) {
            out += static_cast<char>(c);  // every OEM code page carries ASCII as itself
        } else {
            AppendUnitEscapes(out, c);
        }
    }
    return out;
}

std::string ReportLine(std::wstring_view kind, std::wstring_view object,
                       const ReportEncoding& encoding) {
    return encoding.Bytes(EscapeReportField(kind) + L'\t' + EscapeReportField(object) + L"\r\n");
}

std::wstring WouldKind(std::wstring_view kind) {
    return L"would-" + std::wstring(kind);
}

std::string PassedOverLine(std::wstring_view path, std::wstring_view why,
                           const ReportEncoding& encoding, bool whatIf) {
    return ReportLine(whatIf ? WouldKind(L"passed-over") : L"passed-over",
                      std::wstring(path) + L" (" + std::wstring(why) + L")", encoding);
}

std::string ClosingLines(const QuietOutcome& outcome, const ReportEncoding& encoding) {
    std::string lines;
    for (const RemainingPayload& payload : outcome.remaining) {
        lines += ReportLine(outcome.whatIf ? WouldKind(L"remaining") : L"remaining",
                            payload.path + L" (" + payload.reason + L")", encoding);
    }
    if (!outcome.failure.empty()) {
        lines += ReportLine(L"failure", outcome.failure, encoding);
    }
    const wchar_t* detected =
        outcome.whatIf ? DetectMeaning(outcome.exitCode, !outcome.remaining.empty()) : nullptr;
    const std::wstring meaning = detected != nullptr          ? detected
                                 : !outcome.remaining.empty() ? kPayloadRemainsMeaning
                                                              : ExitCodeMeaning(outcome.exitCode);
    return lines +
           ReportLine(L"exit", std::to_wstring(outcome.exitCode) + L" " + meaning, encoding);
}

std::string UsageLines(std::wstring_view usage, const ReportEncoding& encoding) {
    std::wstring text(usage);
    if (!text.ends_with(L"\r\n")) {
        text += L"\r\n";
    }
    return encoding.Bytes(text);
}

}  // namespace hf
