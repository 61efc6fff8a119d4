#pragma once
// Version-information resources: the size of a file's version information, reading it into a
// caller-owned block, and looking a value up inside that block.

#include <cstdint>
#include <string>

namespace hf {

class VersionApi {
  public:
    virtual ~VersionApi() = default;

    // GetFileVersionInfoSizeW: the size in bytes of the file's version information; 0 with the
    // last error set when there is none or it cannot be read.
    virtual std::uint32_t GetFileVersionInfoSizeW(const std::wstring& path) = 0;
    // GetFileVersionInfoW(path, 0, size, data): fills the `size` bytes at `data`; false with the
    // last error set.
    virtual bool GetFileVersionInfoW(const std::wstring& path, std::uint32_t size, void* data) = 0;
    // VerQueryValueW: on success `value` points into `block` (a translation table, or a
    // NUL-terminated string of UTF-16 code units) and `length` is what the system reports for it.
    virtual bool VerQueryValueW(const void* block, const std::wstring& subBlock, const void*& value,
                                std::uint32_t& length) = 0;
};

}  // namespace hf
