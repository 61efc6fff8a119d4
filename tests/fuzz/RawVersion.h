#pragma once
// The version-information functions over raw bytes: one file whose version resource is the
// bytes given, laid out as a real VS_VERSIONINFO resource, so a fuzzer can hand the version
// queries anything a hostile file could carry.
//
// The layout VerQueryValueW walks: every block is
//   WORD wLength (the block with its children), WORD wValueLength, WORD wType (1 text, 0
//   binary), the NUL-terminated UTF-16 key, padding to 32 bits, the value (wValueLength units
//   for text, bytes for binary), padding to 32 bits, then the children up to wLength.
// A sub-block path names children by key from the root, components separated by '\', empty
// components skipped, keys compared with a-z folded.
//
// Unlike the system, the walk never reads outside the block it was handed, and stops at a
// block shorter than its header, a key without its NUL, or a child that runs past its parent.
// What it reports for a value found follows one of two policies:
//   - Windows: GetFileVersionInfoSizeW asks for twice the resource plus 4 bytes, the copy ends
//     with the "FE2X" signature after the resource (the rest of the caller's block is left as
//     it was), and the length reported is the stored wValueLength, however large;
//   - Exact: the size is the resource's own, and the reported length is cut to what lies inside
//     the block (units for text, bytes for binary).

#include "platform/Version.h"
#include "tests/fakes/FakeSystem.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace hf::fuzz {

class RawVersion final : public VersionApi {
  public:
    enum class Policy { Windows, Exact };

    RawVersion(fake::FakeSystem& system, std::wstring path, std::vector<std::uint8_t> resource,
               Policy policy)
        : system_(system),
          path_(std::move(path)),
          resource_(std::move(resource)),
          policy_(policy) {}

    std::uint32_t GetFileVersionInfoSizeW(const std::wstring& path) override;
    bool GetFileVersionInfoW(const std::wstring& path, std::uint32_t size, void* data) override;
    bool VerQueryValueW(const void* block, const std::wstring& subBlock, const void*& value,
                        std::uint32_t& length) override;

    // Values found, for the target's own checks: where each pointed and how long it claimed.
    struct Answer {
        std::size_t offset;
        std::uint32_t length;
    };
    std::vector<Answer> answers;

  private:
    fake::FakeSystem& system_;
    std::wstring path_;
    std::vector<std::uint8_t> resource_;
    Policy policy_;
    std::map<const void*, std::size_t> blocks_;  // blocks filled, by address, with their size
};

}  // namespace hf::fuzz
