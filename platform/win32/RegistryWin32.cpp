#include "platform/win32/RegistryWin32.h"

#include <windows.h>

#include <vector>

namespace hf {

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

}  // namespace hf
