// Fuzz target: splitting a rundll32 action's arguments into fields, and the name helpers the
// loader rule applies to them.
//
// Input: the last four bytes are a quoting mask, the rest is wide text (FuzzSupport.h).
// Checked for every input:
//   - the split agrees with a second, independent reading of the field rules;
//   - text without quotes splits into exactly count(',') + 1 fields that join back to it;
//   - fields written out (quoted where they must be, or where the mask says) split back into
//     exactly those fields: the text is cut at U+001F into the fields to write;
//   - FileNamePart, ContainsPath and ExtensionlessForm keep to what they promise.

#include "FuzzSupport.h"
#include "ReferenceSplit.h"

#include "platform/StringList.h"
#include "tasks/ExecActions.h"
#include "tasks/FieldSplit.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

namespace {

using hf::fuzz::ReferenceSplit;
using hf::fuzz::Show;

std::vector<std::wstring> ProductSplit(std::wstring_view text) {
    hf::TStringList list;
    hf::SplitFields(text, list);
    return {list.begin(), list.end()};
}

std::wstring Join(const std::vector<std::wstring>& fields, wchar_t separator) {
    std::wstring joined;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            joined.push_back(separator);
        }
        joined += fields[i];
    }
    return joined;
}

std::vector<std::wstring> CutAt(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at == text.size() || text[at] == separator) {
            parts.emplace_back(text.substr(start, at - start));
            start = at + 1;
        }
    }
    return parts;
}

// Writes fields as argument text: a field is quoted (its quotes doubled) when the mask asks,
// when it holds a ',' or opens with '"', and when it is the only field and empty.
std::wstring Encode(const std::vector<std::wstring>& fields, std::uint32_t quoteMask) {
    std::wstring text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::wstring& field = fields[i];
        const bool quote =
            ((quoteMask >> (i % 32)) & 1u) != 0 || field.find(L',') != std::wstring::npos ||
            (!field.empty() && field.front() == L'"') || (fields.size() == 1 && field.empty());
        if (i > 0) {
            text.push_back(L',');
        }
        if (!quote) {
            text += field;
            continue;
        }
        text.push_back(L'"');
        for (wchar_t c : field) {
            text.push_back(c);
            if (c == L'"') {
                text.push_back(L'"');
            }
        }
        text.push_back(L'"');
    }
    return text;
}

void CheckNameHelpers(std::wstring_view text) {
    const std::wstring_view name = hf::FileNamePart(text);
    HF_FUZZ_CHECK(text.ends_with(name), "FileNamePart is not a suffix of " + Show(text));
    HF_FUZZ_CHECK(name.find_first_of(L"\\:") == std::wstring_view::npos,
                  "FileNamePart " + Show(name) + " still holds a separator");
    HF_FUZZ_CHECK(name.size() == text.size() || (text[text.size() - name.size() - 1] == L'\\' ||
                                                 text[text.size() - name.size() - 1] == L':'),
                  "FileNamePart " + Show(name) + " does not start after a separator");
    // A bare name is looked for in the system folders: put after one, it must name a file
    // directly in it, so no separator Windows reads ('\' or '/') and no drive or stream ':'.
    HF_FUZZ_CHECK(hf::ContainsPath(text) || text.find_first_of(L"\\/:") == std::wstring_view::npos,
                  "ContainsPath takes " + Show(text) + " for a bare name");

    const std::wstring_view stem = hf::ExtensionlessForm(text);
    HF_FUZZ_CHECK(text.starts_with(stem), "ExtensionlessForm is not a prefix of " + Show(text));
    if (stem.size() != text.size()) {
        // Only the last '.' goes, and only when it lies in the file name part.
        const std::wstring_view rest = text.substr(stem.size());
        HF_FUZZ_CHECK(rest.front() == L'.' && rest.find_first_of(L".\\:", 1) == rest.npos,
                      "ExtensionlessForm cut " + Show(text) + " at the wrong place");
    } else {
        const std::size_t dot = text.rfind(L'.');
        HF_FUZZ_CHECK(dot == text.npos || text.find_first_of(L"\\:", dot) != text.npos,
                      "ExtensionlessForm kept the extension of " + Show(text));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const auto quoteMask = provider.ConsumeIntegral<std::uint32_t>();
    const std::wstring text = hf::fuzz::WideText(provider.ConsumeRemainingBytesAsString());

    const std::vector<std::wstring> fields = ProductSplit(text);
    const std::vector<std::wstring> expected = ReferenceSplit(text);
    HF_FUZZ_CHECK(fields == expected, "SplitFields(" + Show(text) + ") gave " + Show(fields) +
                                          ", the field rules give " + Show(expected));

    if (text.find(L'"') == std::wstring::npos) {
        const auto commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), L','));
        const std::size_t count = text.empty() ? 0 : commas + 1;
        HF_FUZZ_CHECK(fields.size() == count && Join(fields, L',') == text,
                      "unquoted " + Show(text) + " split into " + Show(fields));
    }

    const std::vector<std::wstring> written = CutAt(text, L'\x1F');
    const std::wstring encoded = Encode(written, quoteMask);
    const std::vector<std::wstring> readBack = ProductSplit(encoded);
    HF_FUZZ_CHECK(readBack == written, "fields " + Show(written) + " written as " + Show(encoded) +
                                           " read back as " + Show(readBack));

    CheckNameHelpers(text);
    for (const std::wstring& field : fields) {
        CheckNameHelpers(field);
    }
    return 0;
}
