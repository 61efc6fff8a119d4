#pragma once
// A version resource read from an open file, without asking the system to load the file: the
// resource directory of its PE image is walked to the version resource, whose block is copied
// out, and values are looked up in that block as VerQueryValueW looks them up. What is read is
// the open file itself, so nothing can change between the checks made on the handle and this.
//
// Every offset and size the file states is checked against what was read. A block of more than
// 65,535 bytes is no version resource: its own length field has 16 bits, and a file claiming
// more must not make the tool allocate what it says.

#include "platform/Files.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace hf {

inline constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;

// The version resource (type 16, name 1) of the open file's PE image, in US English where it
// has that language, else its first: the bytes of its VS_VERSIONINFO block. Nothing when the file
// is no PE image, has no version resource, states a place or size its bytes do not hold, or
// cannot be read (the handle needs FILE_READ_DATA).
std::optional<std::vector<std::uint8_t>> ReadVersionResource(FileApi& files, FileHandle file);

// VerQueryValueW over such a block: the path's components, separated by '\' (empty ones skipped),
// name children by key from the root, compared with a-z folded. On success `value` points into
// `block` at the value and `length` is its stored length (UTF-16 units for text, bytes
// otherwise). Never reads outside `block`: a node that runs past its parent or the block, or a
// key without its NUL inside its node, ends the search.
bool FindVersionValue(const std::vector<std::uint8_t>& block, std::wstring_view subBlock,
                      const void*& value, std::uint32_t& length);

}  // namespace hf
