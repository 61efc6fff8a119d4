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

std::string PassedOverLine(std::wstring_view path, std::wstring_view why) {
    return ReportLine(L"passed-over", std::wstring(path) + L" (" + std::wstring(why) + L")");
}

std::string ClosingLines(const QuietOutcome& outcome) {
    std::string lines;
    for (const RemainingPayload& payload : outcome.remaining) {
        lines += ReportLine(L"remaining", payload.path + L" (" + payload.reason + L")");
    }
    if (!outcome.failure.empty()) {
        lines += ReportLine(L"failure", outcome.failure);
    }
    const std::wstring meaning =
        outcome.remaining.empty() ? ExitCodeMeaning(outcome.exitCode) : kPayloadRemainsMeaning;
    return lines + ReportLine(L"exit", std::to_wstring(outcome.exitCode) + L" " + meaning);
}

std::string UsageLines(std::wstring_view usage) {
    std::string text = Utf16ToUtf8(usage);
    if (!text.ends_with("\r\n")) {
        text += "\r\n";
    }
    return text;
}

}  // namespace hf
