#pragma once
// The two one-shot pattern operations: each call builds, compiles, matches and frees its own
// TPerlRegEx. Both raise hf::Exception for an empty or malformed pattern.

#include <string>
#include <string_view>

namespace hf {

// The text of the first match of `pattern` in `subject`; empty text when there is none.
std::wstring RegexFirstMatch(const std::wstring& pattern, const std::wstring& subject);

// Whether `pattern` matches somewhere in `subject`.
bool RegexIsMatch(const std::wstring& pattern, const std::wstring& subject);

// The pattern that finds the library name in the first field of a rundll32 action's arguments.
inline constexpr wchar_t kLibraryPattern[] = L"[a-zA-Z0-9.]*.dll";

// Exactly RegexFirstMatch(kLibraryPattern, field), in time linear in the field's length: the
// same compiled pattern is tried, anchored, only where the leftmost match can begin. A field of
// a million characters costs milliseconds, not the minutes an unanchored search can take.
std::wstring LibraryNameMatch(std::wstring_view field);

}  // namespace hf
