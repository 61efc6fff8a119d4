#include "platform/win32/RegistryWin32.h"

#include "platform/win32/Win32Handles.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace hf {

// The portable constants must be the values windows.h gives (HKEY_LOCAL_MACHINE is a pointer,
// which no constant expression compares; the Wine ring checks it).
static_assert(reg::kKeyQueryValue == KEY_QUERY_VALUE);
static_assert(reg::kKeySetValue == KEY_SET_VALUE);
static_assert(reg::kKeyEnumerateSubKeys == KEY_ENUMERATE_SUB_KEYS);
static_assert(reg::kDelete == DELETE);
static_assert(reg::kKeyRead == KEY_READ);
static_assert(reg::kTypeNone == REG_NONE);
static_assert(reg::kTypeSz == REG_SZ);
static_assert(reg::kTypeExpandSz == REG_EXPAND_SZ);
static_assert(reg::kTypeBinary == REG_BINARY);
static_assert(reg::kTypeDword == REG_DWORD);
static_assert(reg::kTypeDwordBigEndian == REG_DWORD_BIG_ENDIAN);
static_assert(reg::kTypeMultiSz == REG_MULTI_SZ);
static_assert(reg::kTypeLink == REG_LINK);
static_assert(reg::kOptionOpenLink == REG_OPTION_OPEN_LINK);
static_assert(reg::kTypeQword == REG_QWORD);
static_assert(reg::kSuccess == ERROR_SUCCESS);
static_assert(reg::kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(reg::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(reg::kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(reg::kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(reg::kErrorBadPathname == ERROR_BAD_PATHNAME);
static_assert(reg::kErrorMoreData == ERROR_MORE_DATA);
static_assert(reg::kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(reg::kErrorKeyDeleted == ERROR_KEY_DELETED);

namespace {

HKEY ToHkey(HKey key) {
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

LStatus Win32RegistryApi::RegOpenKeyExW(HKey parent, const std::wstring& subKey,
                                        std::uint32_t options, std::uint32_t access, HKey& result) {
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(ToHkey(parent), subKey.c_str(), options, access, &opened);
    if (status == ERROR_SUCCESS) {
        result = reinterpret_cast<HKey>(opened);
    }
    return status;
}

LStatus Win32RegistryApi::RegQueryInfoKeyW(HKey key, RegKeyInfo& info) {
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
    const LSTATUS status =
        ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLen, nullptr,
                           &values, &maxValueNameLen, &maxValueLen, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        info = RegKeyInfo{subKeys, maxSubKeyLen, values, maxValueNameLen, maxValueLen};
    }
    return status;
}

LStatus Win32RegistryApi::RegEnumKeyExW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                        std::wstring& name) {
    std::vector<wchar_t> buffer(capacity == 0 ? 1 : capacity);
    DWORD length = capacity;
    const LSTATUS status = ::RegEnumKeyExW(ToHkey(key), index, buffer.data(), &length, nullptr,
                                           nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        name.assign(buffer.data(), length);
    }
    return status;
}

LStatus Win32RegistryApi::RegEnumValueW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                        std::wstring& name) {
    std::vector<wchar_t> buffer(capacity == 0 ? 1 : capacity);
    DWORD length = capacity;
    const LSTATUS status = ::RegEnumValueW(ToHkey(key), index, buffer.data(), &length, nullptr,
                                           nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        name.assign(buffer.data(), length);
    }
    return status;
}

LStatus Win32RegistryApi::RegQueryValueExW(HKey key, const std::wstring& name, std::uint32_t* type,
                                           std::uint8_t* data, std::uint32_t* size) {
    DWORD valueType = 0;
    DWORD byteCount = size != nullptr ? *size : 0;
    const LSTATUS status = ::RegQueryValueExW(ToHkey(key), name.c_str(), nullptr, &valueType, data,
                                              size != nullptr ? &byteCount : nullptr);
    if (type != nullptr) {
        *type = valueType;
    }
    if (size != nullptr) {
        *size = byteCount;
    }
    return status;
}

LStatus Win32RegistryApi::RegDeleteKeyW(HKey parent, const std::wstring& subKey) {
    return ::RegDeleteKeyW(ToHkey(parent), subKey.c_str());
}

LStatus Win32RegistryApi::RegDeleteValueW(HKey key, const std::wstring& name) {
    return ::RegDeleteValueW(ToHkey(key), name.c_str());
}

LStatus Win32RegistryApi::RegCloseKey(HKey key) {
    return ::RegCloseKey(ToHkey(key));
}

LStatus Win32RegistryApi::NtDeleteKey(HKey key) {
    // From ntdll, which every process has loaded: the only call that deletes a key through a
    // handle, and so the only way to delete a link rather than what it leads to.
    using DeleteKey = NTSTATUS(NTAPI*)(HANDLE);
    using ToDosError = ULONG(NTAPI*)(NTSTATUS);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto deleteKey = GetProcedure<DeleteKey>(ntdll, "NtDeleteKey");
    const auto toDosError = GetProcedure<ToDosError>(ntdll, "RtlNtStatusToDosError");
    if (deleteKey == nullptr || toDosError == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    return static_cast<LStatus>(toDosError(deleteKey(ToHkey(key))));
}

}  // namespace hf
