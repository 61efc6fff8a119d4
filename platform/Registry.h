#pragma once
// The registry: the calls the registry cursor makes, one to one with the Win32 functions, each
// returning the LSTATUS Windows returns (0 on success, a Win32 error code otherwise).

#include "platform/UniqueHandle.h"

#include <cstdint>
#include <string>

namespace hf {

// An open key or a predefined root key (HKEY), as an integer so the seam needs no Windows headers.
using HKey = std::uintptr_t;
using LStatus = std::int32_t;

// HKEY_LOCAL_MACHINE: (HKEY)(ULONG_PTR)(LONG)0x80000002, sign-extended where pointers are 64-bit.
inline constexpr HKey kHKeyLocalMachine =
    static_cast<HKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));

namespace reg {

// Access rights (REGSAM). A call through a handle opened without the right it needs is refused
// with kErrorAccessDenied: RegQueryInfoKeyW, RegEnumValueW and RegQueryValueExW need
// kKeyQueryValue, RegEnumKeyExW kKeyEnumerateSubKeys, RegDeleteValueW kKeySetValue, NtDeleteKey
// kDelete; opening a subkey needs nothing of its parent's handle.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kKeyRead = 0x20019;

// RegOpenKeyExW option: a link key at the end of the path is opened itself, never followed
// (links on the way still are).
inline constexpr std::uint32_t kOptionOpenLink = 0x00000008;

// A link key holds its target, "\Registry\Machine\...", in this value of type kTypeLink.
inline constexpr wchar_t kSymbolicLinkValue[] = L"SymbolicLinkValue";

// Value types.
inline constexpr std::uint32_t kTypeNone = 0;
inline constexpr std::uint32_t kTypeSz = 1;
inline constexpr std::uint32_t kTypeExpandSz = 2;
inline constexpr std::uint32_t kTypeBinary = 3;
inline constexpr std::uint32_t kTypeDword = 4;
inline constexpr std::uint32_t kTypeDwordBigEndian = 5;
inline constexpr std::uint32_t kTypeLink = 6;
inline constexpr std::uint32_t kTypeMultiSz = 7;
inline constexpr std::uint32_t kTypeQword = 11;

// Status codes the registry functions return.
inline constexpr LStatus kSuccess = 0;
inline constexpr LStatus kErrorFileNotFound = 2;
inline constexpr LStatus kErrorAccessDenied = 5;
inline constexpr LStatus kErrorInvalidHandle = 6;
inline constexpr LStatus kErrorInvalidParameter = 87;
inline constexpr LStatus kErrorBadPathname = 161;
inline constexpr LStatus kErrorMoreData = 234;
inline constexpr LStatus kErrorNoMoreItems = 259;
inline constexpr LStatus kErrorKeyDeleted = 1018;

}  // namespace reg

// What RegQueryInfoKeyW reports about a key; lengths in UTF-16 units without the terminator,
// the longest data in bytes.
struct RegKeyInfo {
    std::uint32_t subKeys = 0;
    std::uint32_t maxSubKeyLen = 0;
    std::uint32_t values = 0;
    std::uint32_t maxValueNameLen = 0;
    std::uint32_t maxValueLen = 0;
};

class RegistryApi {
  public:
    virtual ~RegistryApi() = default;

    // RegOpenKeyExW(parent, subKey, options, access, &result): `result` is set only on success.
    virtual LStatus RegOpenKeyExW(HKey parent, const std::wstring& subKey, std::uint32_t options,
                                  std::uint32_t access, HKey& result) = 0;
    // RegQueryInfoKeyW: the counts and longest lengths of `key`.
    virtual LStatus RegQueryInfoKeyW(HKey key, RegKeyInfo& info) = 0;
    // RegEnumKeyExW: the subkey name at `index` into a buffer of `capacity` UTF-16 units, the
    // terminator included; kErrorMoreData when it does not fit, kErrorNoMoreItems past the end.
    virtual LStatus RegEnumKeyExW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                  std::wstring& name) = 0;
    // RegEnumValueW without type and data: the value name at `index`, as RegEnumKeyExW.
    virtual LStatus RegEnumValueW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                  std::wstring& name) = 0;
    // RegQueryValueExW(key, name, type, data, size): with `data` null, *size receives the size
    // in bytes; otherwise *size gives the buffer's size and receives the bytes stored
    // (kErrorMoreData when they do not fit). An empty name is the default value. `type` may be
    // null.
    virtual LStatus RegQueryValueExW(HKey key, const std::wstring& name, std::uint32_t* type,
                                     std::uint8_t* data, std::uint32_t* size) = 0;
    // RegDeleteKeyW: deletes `subKey` of `parent`, which must have no subkeys of its own. A link
    // key named by `subKey` is followed: its target goes, not the link.
    virtual LStatus RegDeleteKeyW(HKey parent, const std::wstring& subKey) = 0;
    // NtDeleteKey: deletes the key `key` is open on (a link opened with kOptionOpenLink: the link
    // itself), which must have no subkeys; its NTSTATUS as RtlNtStatusToDosError gives it.
    virtual LStatus NtDeleteKey(HKey key) = 0;
    // RegDeleteValueW: deletes one value of `key` (empty name: the default value).
    virtual LStatus RegDeleteValueW(HKey key, const std::wstring& name) = 0;
    // RegCloseKey.
    virtual LStatus RegCloseKey(HKey key) = 0;
};

// Owns a key from RegistryApi::RegOpenKeyExW and closes it through the same interface.
struct RegistryKeyTraits {
    using Handle = HKey;
    static Handle Invalid() noexcept { return 0; }
    RegistryApi* api = nullptr;
    void Close(Handle key) const noexcept { api->RegCloseKey(key); }
};
using UniqueRegKey = UniqueHandle<RegistryKeyTraits>;

}  // namespace hf
