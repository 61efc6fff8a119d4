#include "inspect/Patterns.h"

#include "lib/PerlRegEx.h"
#include "platform/Text.h"

namespace hf {

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

}  // namespace hf
