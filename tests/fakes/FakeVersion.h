#pragma once
// The fake version-information functions over the resources attached to FakeFileSystem files.
// GetFileVersionInfoW serialises the resource into the caller's block and VerQueryValueW parses
// that block and points into it, as Windows does: code that reads a value after releasing the
// block reads freed memory, which AddressSanitizer reports. The translation value is the last
// thing in the block (unless unterminatedStrings puts the strings there), so reading past a
// short table runs off the end of the allocation.

#include "platform/Version.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hf::fake {

class FakeVersion final : public VersionApi {
  public:
    FakeVersion(FakeSystem& system, FakeFileSystem& files) : system_(system), files_(files) {}

    // GetFileVersionInfoSizeW of `path` fails with `code` (the file itself stays readable).
    void FailSize(const std::wstring& path, std::uint32_t code);
    // GetFileVersionInfoW of `path` fails with `code` after the size was given.
    void FailRead(const std::wstring& path, std::uint32_t code);

    // The error for an existing file without a version resource.
    std::uint32_t noResourceError = kErrorResourceDataNotFound;
    // The error VerQueryValueW leaves when the sub-block does not exist.
    std::uint32_t queryFailureError = kErrorResourceTypeNotFound;
    // When true, an empty string value is stored without even its NUL and reported with length
    // 0, so the value pointer points at whatever follows it (as a resource compiler may do).
    bool bareEmptyStrings = false;
    // When set, GetFileVersionInfoSizeW reports this size for every file with a resource (a
    // crafted resource may claim any size).
    std::optional<std::uint32_t> claimedSize;
    // When set, VerQueryValueW reports this length for every string value instead of its own
    // (a crafted resource may claim less than its text, or more than the block holds).
    std::optional<std::uint32_t> reportedStringLength;
    // When true, strings are stored without their NUL and laid out after the translation table,
    // so the last string runs to the very end of the block.
    bool unterminatedStrings = false;

    // What was called.
    int sizeCalls = 0;
    int readCalls = 0;
    std::vector<std::uint32_t> readSizes;  // the size handed to each GetFileVersionInfoW
    std::vector<std::wstring> queries;     // every VerQueryValueW sub-block, as given

    // The serialised form of a resource (what GetFileVersionInfoSizeW measures).
    std::vector<std::uint8_t> Serialise(const FakeVersionResource& resource) const;

    std::uint32_t GetFileVersionInfoSizeW(const std::wstring& path) override;
    bool GetFileVersionInfoW(const std::wstring& path, std::uint32_t size, void* data) override;
    bool VerQueryValueW(const void* block, const std::wstring& subBlock, const void*& value,
                        std::uint32_t& length) override;

  private:
    const FakeVersionResource* Resource(const std::wstring& path, std::uint32_t& error) const;

    FakeSystem& system_;
    FakeFileSystem& files_;
    std::map<std::wstring, std::uint32_t> sizeFailures_;
    std::map<std::wstring, std::uint32_t> readFailures_;
};

}  // namespace hf::fake
