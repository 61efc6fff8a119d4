#include "tasks/FieldSplit.h"

#include <algorithm>
#include <string>

namespace hf {

namespace {
constexpr wchar_t kDelimiter = L',';
constexpr wchar_t kQuote = L'"';
}  // namespace

void SplitFields(std::wstring_view text, TStringList& fields) {
    std::size_t pos = 0;
    const std::size_t size = text.size();
    while (pos < size) {
        std::wstring field;
        if (text[pos] == kQuote) {
            ++pos;
            while (pos < size) {
                if (text[pos] == kQuote) {
                    if (pos + 1 < size && text[pos + 1] == kQuote) {
                        field += kQuote;
                        pos += 2;
                        continue;
                    }
                    ++pos;  // the closing quote
                    break;
                }
                field += text[pos++];
            }
        } else {
            const std::size_t end = std::min(text.find(kDelimiter, pos), size);
            field.assign(text.substr(pos, end - pos));
            pos = end;
        }
        fields.Add(std::move(field));
        if (pos < size && text[pos] == kDelimiter) {
            ++pos;
            if (pos == size) {
                fields.Add(std::wstring());
            }
        }
        // Otherwise the rest after a closing quote starts the next field as it stands.
    }
}

}  // namespace hf
