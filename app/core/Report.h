#pragma once
// The quiet run's report, for whoever captured standard output: UTF-8, one line per change in
// the order the changes were made, "<kind><TAB><object><CR><LF>", then on a failure
// "failure<TAB><text>", then one closing line "exit<TAB><code> <meaning>". A percent sign and
// every control character inside a field are written as %XX (the character's code, two
// hexadecimal digits), so a name carrying a tab or a line break cannot split or forge a line.

#include "app/core/QuietRun.h"
#include "platform/Recording.h"

#include <string>
#include <string_view>

namespace hf {

// `text` with '%' and the control characters (U+0000-U+001F, U+007F) as %XX.
std::wstring EscapeReportField(std::wstring_view text);

// One line "<kind><TAB><object><CR><LF>", both escaped, in UTF-8.
std::string ReportLine(std::wstring_view kind, std::wstring_view object);

// The line of one change.
inline std::string ReportLine(const Change& change) {
    return ReportLine(change.kind, change.object);
}

// The line of a candidate passed over for where it points: "passed-over<TAB><path> (<why>)".
std::string PassedOverLine(std::wstring_view path, std::wstring_view why);

// The lines after the changes: one "remaining<TAB><path> (<reason>)" per payload that remains,
// the failure (when there is one) and the closing line.
std::string ClosingLines(const QuietOutcome& outcome);

// The usage text as report lines (in quiet mode it goes to standard output).
std::string UsageLines(std::wstring_view usage);

}  // namespace hf
