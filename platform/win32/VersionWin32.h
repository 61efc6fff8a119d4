#pragma once
#include "platform/Version.h"
#include "platform/win32/SystemLibrary.h"

#include <cstdint>

namespace hf {

// version.dll is no KnownDLL: imported statically, the loader would take a copy from the
// program's folder before the program runs. It is loaded here, from the system folder only.
class Win32VersionApi final : public VersionApi {
  public:
    // Loads `library` (version.dll; a test names one that does not exist) and its three functions.
    explicit Win32VersionApi(const wchar_t* library = L"version.dll");

    // 0 when the library and its functions were found; else the error (126: no such library,
    // 127: a function missing), with which every call then fails as its last error.
    std::uint32_t LoadError() const noexcept { return loadError_; }

    std::uint32_t GetFileVersionInfoSizeW(const std::wstring& path) override;
    bool GetFileVersionInfoW(const std::wstring& path, std::uint32_t size, void* data) override;
    bool VerQueryValueW(const void* block, const std::wstring& subBlock, const void*& value,
                        std::uint32_t& length) override;

  private:
    bool Unavailable() const;

    UniqueLibrary library_;
    std::uint32_t loadError_ = 0;
    decltype(&::GetFileVersionInfoSizeW) getFileVersionInfoSize_ = nullptr;
    decltype(&::GetFileVersionInfoW) getFileVersionInfo_ = nullptr;
    decltype(&::VerQueryValueW) verQueryValue_ = nullptr;
};

}  // namespace hf
