#pragma once
#include "platform/Registry.h"

namespace hf {

// The registry seam over advapi32, in the view of the running process (no KEY_WOW64_* flags).
class Win32RegistryApi final : public RegistryApi {
  public:
    LStatus RegOpenKeyExW(HKey parent, const std::wstring& subKey, std::uint32_t options,
                          std::uint32_t access, HKey& result) override;
    LStatus RegQueryInfoKeyW(HKey key, RegKeyInfo& info) override;
    LStatus RegEnumKeyExW(HKey key, std::uint32_t index, std::uint32_t capacity,
                          std::wstring& name) override;
    LStatus RegEnumValueW(HKey key, std::uint32_t index, std::uint32_t capacity,
                          std::wstring& name) override;
    LStatus RegQueryValueExW(HKey key, const std::wstring& name, std::uint32_t* type,
                             std::uint8_t* data, std::uint32_t* size) override;
    LStatus RegDeleteKeyW(HKey parent, const std::wstring& subKey) override;
    LStatus RegDeleteValueW(HKey key, const std::wstring& name) override;
    LStatus RegCloseKey(HKey key) override;
    LStatus NtDeleteKey(HKey key) override;
};

}  // namespace hf
