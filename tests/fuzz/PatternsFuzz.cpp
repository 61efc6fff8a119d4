// Fuzz target: RegexFirstMatch and RegexIsMatch.
//
// Input: the last byte picks the mode, the rest is read as wide text (FuzzSupport.h).
//   Modes 0-2 (most inputs): the subject against the three patterns the task rules use, each
//   compared with a plain reading of what the pattern means:
//     "[a-zA-Z0-9.]*.dll": the leftmost match; from its start the longest run of [a-zA-Z0-9.]
//       that still leaves one character other than a line break followed by "dll";
//     the 8- and 10-character patterns: the whole subject is that many ASCII letters and
//       digits with at least one of each, optionally followed by one line break (CR, LF,
//       CR LF, VT, FF, NEL, U+2028 or U+2029), which "$" accepts before the end.
//   Mode 3: an arbitrary pattern (up to the first U+0000; the rest is the subject). Only
//   hf::Exception may leave, and only when the pattern is rejected (both operations must then
//   agree); a match is a piece of the subject unless the pattern can split a character (\C).

#include "FuzzSupport.h"

#include "inspect/Patterns.h"
#include "platform/Errors.h"
#include "platform/Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>

namespace {

using hf::fuzz::Show;

constexpr wchar_t kLibraryPattern[] = L"[a-zA-Z0-9.]*.dll";
constexpr wchar_t kNamePattern[] = L"^(?=.*[A-Za-z])(?=.*\\d)[A-Za-z\\d]{8}$";
constexpr wchar_t kEntryPattern[] = L"^(?=.*[A-Za-z])(?=.*\\d)[A-Za-z\\d]{10}$";

// The code points of a text as the engine sees it (after the conversion to UTF-8).
std::u32string Points(std::wstring_view text) {
    const std::wstring normal = hf::Utf8ToUtf16(hf::Utf16ToUtf8(text));
    std::u32string points;
    for (wchar_t c : hf::fuzz::JoinPairs(normal)) {
        points.push_back(hf::fuzz::CodeOf(c));
    }
    return points;
}

std::wstring Wide(const std::u32string& points) {
    std::wstring out;
    for (char32_t cp : points) {
        hf::fuzz::AppendCodePoint(out, cp);
    }
    return out;
}

bool IsLineBreak(char32_t c) {
    return c == 0x0A || c == 0x0B || c == 0x0C || c == 0x0D || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}
bool IsAsciiLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char32_t c) {
    return c >= '0' && c <= '9';
}
bool InLibraryClass(char32_t c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '.';
}

std::u32string ExpectedLibraryMatch(const std::u32string& s) {
    for (std::size_t start = 0; start < s.size(); ++start) {
        std::size_t run = 0;
        while (start + run < s.size() && InLibraryClass(s[start + run])) {
            ++run;
        }
        // Greedy: the longest class run that still leaves "<any>dll" after it.
        for (std::size_t k = run + 1; k-- > 0;) {
            const std::size_t any = start + k;
            if (any + 3 < s.size() && !IsLineBreak(s[any]) && s[any + 1] == 'd' &&
                s[any + 2] == 'l' && s[any + 3] == 'l') {
                return s.substr(start, k + 4);
            }
        }
    }
    return {};
}

bool ExpectedShapeMatch(const std::u32string& s, std::size_t length) {
    std::size_t core = s.size();
    if (core >= 2 && s[core - 2] == 0x0D && s[core - 1] == 0x0A) {
        core -= 2;
    } else if (core >= 1 && IsLineBreak(s[core - 1])) {
        core -= 1;
    }
    if (core != length) {
        return false;
    }
    bool letter = false;
    bool digit = false;
    for (std::size_t i = 0; i < core; ++i) {
        letter = letter || IsAsciiLetter(s[i]);
        digit = digit || IsAsciiDigit(s[i]);
        if (!IsAsciiLetter(s[i]) && !IsAsciiDigit(s[i])) {
            return false;
        }
    }
    return letter && digit;
}

void CheckRulePatterns(const std::wstring& subject) {
    const std::u32string points = Points(subject);

    const std::wstring library = hf::RegexFirstMatch(kLibraryPattern, subject);
    const std::wstring expected = Wide(ExpectedLibraryMatch(points));
    HF_FUZZ_CHECK(library == expected, "library pattern on " + Show(subject) + " gave " +
                                           Show(library) + ", expected " + Show(expected));
    HF_FUZZ_CHECK(hf::RegexIsMatch(kLibraryPattern, subject) == !expected.empty(),
                  "RegexIsMatch and RegexFirstMatch disagree on " + Show(subject));

    for (const auto& [pattern, length] :
         {std::pair{kNamePattern, std::size_t{8}}, std::pair{kEntryPattern, std::size_t{10}}}) {
        const bool matched = hf::RegexIsMatch(pattern, subject);
        HF_FUZZ_CHECK(matched == ExpectedShapeMatch(points, length),
                      "the " + std::to_string(length) + "-character pattern " +
                          (matched ? "accepted " : "rejected ") + Show(subject));
        const std::wstring first = hf::RegexFirstMatch(pattern, subject);
        HF_FUZZ_CHECK(first.empty() != matched,
                      "RegexFirstMatch and RegexIsMatch disagree on " + Show(subject));
    }
}

void CheckAnyPattern(const std::wstring& pattern, const std::wstring& subject) {
    std::optional<std::wstring> first;
    std::optional<bool> matched;
    std::wstring firstError;
    std::wstring matchError;
    try {
        first = hf::RegexFirstMatch(pattern, subject);
    } catch (const hf::Exception& e) {
        firstError = e.Message();
    }
    try {
        matched = hf::RegexIsMatch(pattern, subject);
    } catch (const hf::Exception& e) {
        matchError = e.Message();
    }
    HF_FUZZ_CHECK(first.has_value() == matched.has_value() && firstError == matchError,
                  "the two operations disagree on whether " + Show(pattern) +
                      " compiles: " + Show(firstError) + " / " + Show(matchError));
    if (!first) {
        HF_FUZZ_CHECK(firstError.starts_with(L"TPerlRegEx.Compile() - "),
                      "unexpected rejection text " + Show(firstError));
        HF_FUZZ_CHECK(!pattern.empty() || firstError ==
                                              L"TPerlRegEx.Compile() - Please specify "
                                              L"a regular expression in RegEx first",
                      "empty pattern gave " + Show(firstError));
        return;
    }
    // An empty match is never accepted, so a match has text exactly when one was found
    // (a zero-width \K trick aside: the matched text may then be empty but present).
    if (!first->empty()) {
        HF_FUZZ_CHECK(*matched, "RegexFirstMatch found " + Show(*first) +
                                    " where RegexIsMatch found nothing, pattern " + Show(pattern) +
                                    ", subject " + Show(subject));
    }
    if (pattern.find(L"\\C") == std::wstring::npos) {
        const std::wstring normal = Wide(Points(subject));
        HF_FUZZ_CHECK(normal.find(*first) != std::wstring::npos,
                      "match " + Show(*first) + " of " + Show(pattern) +
                          " is not part of the subject " + Show(subject));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const auto mode = provider.ConsumeIntegral<std::uint8_t>() % 4;
    const std::wstring text = hf::fuzz::WideText(provider.ConsumeRemainingBytesAsString());
    if (mode < 3) {
        CheckRulePatterns(text);
        return 0;
    }
    const std::size_t cut = text.find(L'\0');
    const std::wstring pattern = text.substr(0, cut);
    const std::wstring subject = cut == std::wstring::npos ? std::wstring() : text.substr(cut + 1);
    CheckAnyPattern(pattern, subject);
    return 0;
}
