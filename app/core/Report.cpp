#include "app/core/Report.h"

#include "app/core/ExitCodes.h"
#include "platform/Text.h"

namespace hf {

std::wstring EscapeReportField(std::wstring_view text) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        if (c == L'%' || c < 0x20 || c == 0x7F) {
            escaped += L'%';
            escaped += kHex[(c >> 4) & 0xF];
            escaped += kHex[c & 0xF];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string ReportLine(std::wstring_view kind, std::wstring_view object) {
    return Utf16ToUtf8(EscapeReportField(kind) + L'\t' + EscapeReportField(object)) + "\r\n";
}

std::string ClosingLines(const QuietOutcome& outcome) {
    std::string lines;
    if (!outcome.failure.empty()) {
        lines += ReportLine(L"failure", outcome.failure);
    }
    return lines + ReportLine(L"exit", std::to_wstring(outcome.exitCode) + L" " +
                                           ExitCodeMeaning(outcome.exitCode));
}

std::string UsageLines(std::wstring_view usage) {
    std::string text = Utf16ToUtf8(usage);
    if (!text.ends_with("\r\n")) {
        text += "\r\n";
    }
    return text;
}

}  // namespace hf
