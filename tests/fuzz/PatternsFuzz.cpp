// Fuzz target: RegexFirstMatch, RegexIsMatch and LibraryNameMatch.
//
// Input: the last byte picks the mode, the rest is read as wide text (FuzzSupport.h).
//   Modes 0-2 (most inputs): the subject against the three patterns the task rules use, each
//   compared with a plain reading of what the pattern means:
//     "[a-zA-Z0-9.]*.dll", through LibraryNameMatch: the leftmost match; from its start the
//       longest run of [a-zA-Z0-9.] that still leaves one character other than a line break
//       followed by "dll" (read in linear time, for every start); and, where the unanchored
//       search stays cheap (class runs whose squared lengths sum to at most 2^22), exactly what
//       RegexFirstMatch with the pattern as given finds, and RegexIsMatch agreeing;
//     the 8- and 10-character patterns: the whole subject is that many ASCII letters and
//       digits with at least one of each, optionally followed by one line break (CR, LF,
//       CR LF, VT, FF, NEL, U+2028 or U+2029), which "$" accepts before the end.
//   Mode 3: an arbitrary pattern (up to the first U+0000; the rest is the subject; 512
//   characters in all, as any pattern may be exponential by its own making). Only
//   hf::Exception may leave, and only when the pattern is rejected (both operations must then
//   agree); a match is a piece of the subject unless the pattern can split a character (\C).
//   Mode 4: a long subject from a short input, checked as in modes 0-2: the rest is a list of
//   pieces, each two bytes of repeat count (little-endian, times 16), one byte of length and
//   that many bytes of text, repeated into a subject of up to 2^16 characters. Every check but
//   the capped reference is linear, so the run's per-input time limit makes any super-linear
//   path a finding.

#include "FuzzSupport.h"

#include "inspect/Patterns.h"
#include "platform/Errors.h"
#include "platform/Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

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

// For every start, left to right: the class takes the longest run it can that still leaves
// "<any but a line break>dll" after it. Linear: the last such "<any>dll" at or before each
// position is known in advance.
std::u32string ExpectedLibraryMatch(const std::u32string& s) {
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    const std::size_t n = s.size();
    std::vector<std::size_t> lastAnyDll(n, kNone);  // largest p <= i where "<any>dll" starts
    for (std::size_t i = 0; i < n; ++i) {
        const bool here = i + 3 < n && !IsLineBreak(s[i]) && s[i + 1] == 'd' && s[i + 2] == 'l' &&
                          s[i + 3] == 'l';
        lastAnyDll[i] = here ? i : (i > 0 ? lastAnyDll[i - 1] : kNone);
    }
    std::size_t runEnd = 0;  // the first position at or after `start` outside the class
    for (std::size_t start = 0; start < n; ++start) {
        if (runEnd < start) {
            runEnd = start;
        }
        while (runEnd < n && InLibraryClass(s[runEnd])) {
            ++runEnd;
        }
        // The any character sits at start + k, k from the whole run down to 0.
        const std::size_t any = lastAnyDll[std::min(runEnd, n - 1)];
        if (any != kNone && any >= start) {
            return s.substr(start, any + 4 - start);
        }
    }
    return {};
}

// What the unanchored search costs: from each start inside a class run the class runs to the
// run's end and backs off, so about the sum of the runs' squared lengths.
std::size_t ReferenceCost(const std::u32string& s) {
    std::size_t cost = 0;
    std::size_t run = 0;
    for (char32_t c : s) {
        run = InLibraryClass(c) ? run + 1 : 0;
        cost += run;
    }
    return 2 * cost;
}
constexpr std::size_t kReferenceBudget = std::size_t{1} << 22;

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

    const std::wstring library = hf::LibraryNameMatch(subject);
    const std::wstring expected = Wide(ExpectedLibraryMatch(points));
    HF_FUZZ_CHECK(library == expected, "LibraryNameMatch on " + Show(subject) + " gave " +
                                           Show(library) + ", expected " + Show(expected));
    if (ReferenceCost(points) <= kReferenceBudget) {
        const std::wstring reference = hf::RegexFirstMatch(kLibraryPattern, subject);
        HF_FUZZ_CHECK(reference == library, "RegexFirstMatch of the pattern on " + Show(subject) +
                                                " gave " + Show(reference) + ", LibraryNameMatch " +
                                                Show(library));
        HF_FUZZ_CHECK(hf::RegexIsMatch(kLibraryPattern, subject) == !expected.empty(),
                      "RegexIsMatch and RegexFirstMatch disagree on " + Show(subject));
    }

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

// Mode 4's subject: see the comment at the top.
std::wstring LongSubject(const std::string& bytes) {
    constexpr std::size_t kLongest = std::size_t{1} << 16;
    std::wstring subject;
    std::size_t at = 0;
    while (at + 3 <= bytes.size() && subject.size() < kLongest) {
        const std::size_t repeat =
            16 * (static_cast<unsigned char>(bytes[at]) |
                  (static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8));
        const std::size_t length =
            std::min<std::size_t>(static_cast<unsigned char>(bytes[at + 2]), bytes.size() - at - 3);
        const std::wstring piece =
            hf::fuzz::WideText(std::string_view(bytes).substr(at + 3, length));
        at += 3 + length;
        for (std::size_t i = 0;
             i < std::max<std::size_t>(repeat, 1) && !piece.empty() && subject.size() < kLongest;
             ++i) {
            subject += piece;
        }
    }
    subject.resize(std::min(subject.size(), kLongest));
    return subject;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const auto mode = provider.ConsumeIntegral<std::uint8_t>() % 5;
    const std::string bytes = provider.ConsumeRemainingBytesAsString();
    if (mode == 4) {
        CheckRulePatterns(LongSubject(bytes));
        return 0;
    }
    std::wstring text = hf::fuzz::WideText(bytes);
    if (mode < 3) {
        CheckRulePatterns(text);
        return 0;
    }
    // Any pattern may backtrack exponentially by its own making; only the rules' patterns are
    // held to linear time, so this mode keeps to short texts.
    text.resize(std::min<std::size_t>(text.size(), 512));
    const std::size_t cut = text.find(L'\0');
    const std::wstring pattern = text.substr(0, cut);
    const std::wstring subject = cut == std::wstring::npos ? std::wstring() : text.substr(cut + 1);
    CheckAnyPattern(pattern, subject);
    return 0;
}
