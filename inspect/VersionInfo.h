#pragma once
// Strings from a file's version resource. Each call by path reads the resource afresh into a
// block of its own, released before it returns on every path. A file claiming a version block
// larger than one can be (65,535 bytes) has none.

#include "platform/Platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hf {

// The translation every version resource is expected to have: US English, Unicode.
inline constexpr wchar_t kFallbackTranslation[] = L"040904B0";

// The string `key` under the file's first translation, else under "040904B0"; empty text on
// every failure (no resource, unreadable, no translation table, no such string).
std::wstring GetVersionString(const Platform& platform, const std::wstring& path,
                              const std::wstring& key);

// The string `key` of a version block read from an open file (ReadVersionResource), by the
// same rules as GetVersionString.
std::wstring VersionString(const std::vector<std::uint8_t>& block, const std::wstring& key);

// The "OriginalFileName" string under the file's first translation only; empty text when that
// string is missing. Raises EOSError when the resource cannot be sized or read or has no
// usable translation table.
std::wstring GetOriginalFileName(const Platform& platform, const std::wstring& path);

}  // namespace hf
