#pragma once
// Splitting a rundll32 action's arguments into comma-separated fields.

#include "platform/StringList.h"

#include <string_view>

namespace hf {

// Splits `text` at ',' into `fields` (appended), keeping every character of an unquoted field,
// blanks included. A field that opens with '"' runs to the next '"' that is not doubled; a
// doubled '"' inside stands for one, a ',' inside belongs to the field, and text after the
// closing quote up to the next ',' is a field of its own. A trailing ',' adds an empty field;
// empty text gives none. A quote that is never closed runs to the end of the text, its last
// character included.
void SplitFields(std::wstring_view text, TStringList& fields);

}  // namespace hf
