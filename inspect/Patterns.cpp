#include "inspect/Patterns.h"

#include "lib/PerlRegEx.h"
#include "platform/Text.h"

#include <cstddef>
#include <string_view>

namespace hf {

namespace {

// [a-zA-Z0-9.]: all ASCII, so one byte each in UTF-8, and no byte of a longer character is in it.
bool InLibraryClass(char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '.';
}

// The byte position of the character after the one at `at` (the text is well-formed UTF-8).
std::size_t NextCharacter(const std::string& text, std::size_t at) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        ++at;
    }
    return at;
}

}  // namespace

std::wstring RegexFirstMatch(const std::wstring& pattern, const std::wstring& subject) {
    TPerlRegEx regex;
    regex.SetRegEx(Utf16ToUtf8(pattern));
    regex.SetSubject(Utf16ToUtf8(subject));
    if (!regex.Match()) {
        return std::wstring();
    }
    return Utf8ToUtf16(regex.MatchedText());
}

bool RegexIsMatch(const std::wstring& pattern, const std::wstring& subject) {
    TPerlRegEx regex;
    regex.SetRegEx(Utf16ToUtf8(pattern));
    regex.SetSubject(Utf16ToUtf8(subject));
    return regex.Match();
}

// An unanchored search retries at every position, and from each one inside a long run of class
// characters the greedy class runs to the run's end and backs off: quadratic in the run. Here:
// - A match can begin only at the start or right after a character outside the class: from a
//   position after a class character, the start one earlier matches too and is further left.
//   So the starts tried are the start of the field and the character after each run's end.
// - Tried anchored at start s, a match lies inside the class run from s and the four characters
//   after its end (the class takes at most the run, then ".dll" is four characters), so the
//   engine is handed the text only up to there. The pattern has no assertions, so the cut
//   changes no outcome; the engine still decides what "." accepts (no line break, UTF-8).
// Each attempt reads its run plus four characters, about four times over while the class backs
// off (and once more to see whether "dll" occurs there at all), and the runs of successive
// attempts do not overlap, so each character is read a bounded number of times: linear.
std::wstring LibraryNameMatch(std::wstring_view field) {
    TPerlRegEx regex;
    regex.SetRegEx(Utf16ToUtf8(kLibraryPattern));
    regex.SetSubject(Utf16ToUtf8(field));
    const std::string& text = regex.Subject();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t runEnd = start;
        while (runEnd < text.size() && InLibraryClass(text[runEnd])) {
            ++runEnd;
        }
        std::size_t stop = runEnd;
        for (int k = 0; k < 4 && stop < text.size(); ++k) {
            stop = NextCharacter(text, stop);
        }
        // A match ends in "dll" inside the window: without one the engine need not be asked.
        const bool dllInWindow = std::string_view(text).substr(start, stop - start).find("dll") !=
                                 std::string_view::npos;
        if (dllInWindow &&
            regex.MatchAnchored(static_cast<int>(start) + 1, static_cast<int>(stop))) {
            return Utf8ToUtf16(regex.MatchedText());
        }
        if (runEnd == text.size()) {
            break;
        }
        start = NextCharacter(text, runEnd);
    }
    return std::wstring();
}

}  // namespace hf
