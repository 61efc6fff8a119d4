#pragma once
// The two one-shot pattern operations: each call builds, compiles, matches and frees its own
// TPerlRegEx. Both raise hf::Exception for an empty or malformed pattern.

#include <string>

namespace hf {

// The text of the first match of `pattern` in `subject`; empty text when there is none.
std::wstring RegexFirstMatch(const std::wstring& pattern, const std::wstring& subject);

// Whether `pattern` matches somewhere in `subject`.
bool RegexIsMatch(const std::wstring& pattern, const std::wstring& subject);

}  // namespace hf
