#pragma once
// File bytes as a PE image carrying a version resource, laid out as a resource compiler and a
// linker lay them out, so that the product reads a fake file's version through the same parser
// it uses on Windows: one .rsrc section, the directory levels type 16, name 1, one language, and
// the VS_VERSIONINFO block (its fixed info, a StringFileInfo table per translation text, a
// VarFileInfo\Translation value with the raw bytes given).

#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/Utf16Le.h"

#include <cstdint>

namespace hf::test {

// The VS_VERSIONINFO block of `resource`.
Bytes VersionBlock(const fake::FakeVersionResource& resource);

// A PE32 image whose only resource is `block` as the version resource, in `language`.
Bytes VersionImage(const Bytes& block, std::uint16_t language = 0x0409);

}  // namespace hf::test
