#pragma once
// The field rules of a rundll32 action's arguments, read afresh for the fuzz targets to hold the
// product's splitting against: a field runs to the next ','; one that opens with '"' runs to the
// next single '"' ("" inside stands for one '"'; an unclosed one runs to the end of the text),
// and what follows its closing quote up to the next ',' is a field of its own; a ',' ending the
// text adds an empty field; empty text has none.

#include <string>
#include <string_view>
#include <vector>

namespace hf::fuzz {

inline std::vector<std::wstring> ReferenceSplit(std::wstring_view text) {
    std::vector<std::wstring> fields;
    std::size_t at = 0;
    while (at < text.size()) {
        std::wstring field;
        if (text[at] == L'"') {
            for (++at; at < text.size(); ++at) {
                if (text[at] != L'"') {
                    field.push_back(text[at]);
                } else if (at + 1 < text.size() && text[at + 1] == L'"') {
                    field.push_back(L'"');
                    ++at;
                } else {
                    ++at;
                    break;
                }
            }
        } else {
            while (at < text.size() && text[at] != L',') {
                field.push_back(text[at++]);
            }
        }
        fields.push_back(field);
        if (at < text.size() && text[at] == L',') {
            ++at;
            if (at == text.size()) {
                fields.emplace_back();
            }
        }
    }
    return fields;
}

}  // namespace hf::fuzz
