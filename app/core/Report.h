#pragma once
// The quiet run's report, for whoever captured standard output: one line per change in the
// order the changes were made, "<kind><TAB><object><CR><LF>", then on a failure
// "failure<TAB><text>", then one closing line "exit<TAB><code> <meaning>".
//
// Inside a field a '%', every control character (Cc), format character (Cf: soft hyphen,
// bidirectional marks, zero-width characters, ...), U+2028, U+2029 and a surrogate left unpaired
// is escaped: a code unit below U+0100 as %XX, any other as %uXXXX (upper-case hexadecimal, one
// per UTF-16 code unit), so a name can neither split nor forge a line, nor pass for another name.
//
// The bytes are in the system's OEM code page, what the tools that capture a program's output
// decode with, or UTF-8 (/utf8). A character the OEM code page cannot carry exactly is written
// as %uXXXX too: nothing becomes a look-alike or '?'.

#include "app/core/QuietRun.h"
#include "platform/Recording.h"
#include "platform/System.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace hf {

// `text` with the characters above escaped.
std::wstring EscapeReportField(std::wstring_view text);

// How the report's text becomes bytes.
class ReportEncoding {
  public:
    // UTF-8.
    ReportEncoding() = default;
    // The system's OEM code page (GetOEMCP), converted by `system` without best fit.
    explicit ReportEncoding(SystemApi& system) : system_(&system), codePage_(system.GetOEMCP()) {}

    // `text` as bytes; in the OEM code page a character it cannot carry, or that the
    // conversion fails on, becomes %uXXXX.
    std::string Bytes(std::wstring_view text) const;

  private:
    SystemApi* system_ = nullptr;
    std::uint32_t codePage_ = 0;
};

// One line "<kind><TAB><object><CR><LF>", both escaped.
std::string ReportLine(std::wstring_view kind, std::wstring_view object,
                       const ReportEncoding& encoding = {});

// The line of one change.
inline std::string ReportLine(const Change& change, const ReportEncoding& encoding = {}) {
    return ReportLine(change.kind, change.object, encoding);
}

// The line of a candidate passed over for where it points: "passed-over<TAB><path> (<why>)";
// /detect writes it as "would-passed-over".
std::string PassedOverLine(std::wstring_view path, std::wstring_view why,
                           const ReportEncoding& encoding = {}, bool whatIf = false);

// The kind of a line /detect writes for one of `kind`: "would-<kind>".
std::wstring WouldKind(std::wstring_view kind);

// The lines after the changes: one "remaining<TAB><path> (<reason>)" per payload that remains
// ("would-remaining" for /detect), the failure (when there is one) and the closing line.
std::string ClosingLines(const QuietOutcome& outcome, const ReportEncoding& encoding = {});

// The usage text as report lines (what a bad command line, or /? with /quiet, writes).
std::string UsageLines(std::wstring_view usage, const ReportEncoding& encoding = {});

}  // namespace hf
