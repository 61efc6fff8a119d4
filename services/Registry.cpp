#include "services/Registry.h"

#include "platform/Errors.h"
#include "platform/Text.h"

#include <cstdio>
#include <vector>

namespace hf {

namespace {

// REG_SZ data as text: UTF-16LE units up to the first NUL (or all of them); a trailing odd
// byte is not part of any unit and is ignored.
std::wstring StoredText(const std::vector<std::uint8_t>& bytes, std::size_t size) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        units.push_back(unit);
    }
    return WideFromUtf16Units(units);
}

// REG_DWORD as signed decimal, from its little-endian bytes (fewer than four are zero-filled).
std::wstring DwordText(const std::vector<std::uint8_t>& bytes, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    }
    return std::to_wstring(static_cast<std::int32_t>(value));
}

// Every other type: "0A,FF,..." (two upper-case hex digits per byte).
std::wstring HexText(const std::vector<std::uint8_t>& bytes, std::size_t size) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0) {
            text.push_back(L',');
        }
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace

TRegistry::TRegistry(const Platform& platform, std::uint32_t access, HKey root)
    : api_(platform.Registry()), access_(access), root_(root), current_(RegistryKeyTraits{&api_}) {}

TRegistry::ResolvedPath TRegistry::Resolve(const std::wstring& path) const {
    if (!path.empty() && path.front() == L'\\') {
        return {root_, path.substr(1)};
    }
    return {current_ ? current_.get() : root_, path};
}

bool TRegistry::OpenKey(const std::wstring& path, bool /*canCreate*/) {
    const ResolvedPath resolved = Resolve(path);
    HKey opened = 0;
    if (api_.RegOpenKeyExW(resolved.parent, resolved.subKey, reg::kOptionOpenLink, access_,
                           opened) != reg::kSuccess) {
        return false;
    }
    current_.reset(opened);
    return true;
}

void TRegistry::CloseKey() {
    current_.reset();
}

void TRegistry::ReadNames(TStringList& names, bool values) {
    names.Clear();
    RegKeyInfo info;
    if (!current_ || api_.RegQueryInfoKeyW(current_.get(), info) != reg::kSuccess) {
        return;
    }
    const std::uint32_t count = values ? info.values : info.subKeys;
    const std::uint32_t capacity = (values ? info.maxValueNameLen : info.maxSubKeyLen) + 1;
    for (std::uint32_t index = 0; index < count; ++index) {
        std::wstring name;
        const LStatus status = values ? api_.RegEnumValueW(current_.get(), index, capacity, name)
                                      : api_.RegEnumKeyExW(current_.get(), index, capacity, name);
        // The key may have changed since the count was read: what fails to enumerate is left
        // out rather than listed under a name the registry did not give.
        if (status == reg::kSuccess) {
            names.Add(std::move(name));
        }
    }
}

void TRegistry::GetKeyNames(TStringList& names) {
    ReadNames(names, false);
}

void TRegistry::GetValueNames(TStringList& names) {
    ReadNames(names, true);
}

std::wstring TRegistry::GetDataAsString(const std::wstring& name) {
    if (!current_) {
        return {};
    }
    std::uint32_t type = reg::kTypeNone;
    std::uint32_t size = 0;
    if (api_.RegQueryValueExW(current_.get(), name, &type, nullptr, &size) != reg::kSuccess ||
        size == 0) {
        return {};
    }
    std::vector<std::uint8_t> data(size);
    std::uint32_t read = size;
    if (api_.RegQueryValueExW(current_.get(), name, &type, data.data(), &read) != reg::kSuccess) {
        throw ERegistryException(L"Failed to get data for '" + name + L"'");
    }
    // Format what the read delivered, as the type it delivered it with.
    const std::size_t length = read < size ? read : size;
    switch (type) {
        case reg::kTypeSz:
        case reg::kTypeExpandSz:
            return StoredText(data, length);
        case reg::kTypeDword:
            return DwordText(data, length);
        default:
            return HexText(data, length);
    }
}

bool TRegistry::IsLink(HKey key) {
    std::uint32_t type = reg::kTypeNone;
    std::uint32_t size = 0;
    return api_.RegQueryValueExW(key, reg::kSymbolicLinkValue, &type, nullptr, &size) ==
               reg::kSuccess &&
           type == reg::kTypeLink;
}

bool TRegistry::CurrentKeyIsLink() {
    return current_ && IsLink(current_.get());
}

bool TRegistry::DeleteTree(HKey parent, const std::wstring& subKey, int depth) {
    if (depth > kMaxDeleteDepth) {
        return false;
    }
    // Enough to tell a link, list the subkeys and delete the key; nothing to write.
    HKey opened = 0;
    if (api_.RegOpenKeyExW(parent, subKey, reg::kOptionOpenLink, reg::kKeyRead | reg::kDelete,
                           opened) != reg::kSuccess) {
        return false;
    }
    UniqueRegKey key(RegistryKeyTraits{&api_}, opened);
    // A link is never descended into: what it leads to is no part of this tree.
    RegKeyInfo info;
    if (!IsLink(key.get()) && api_.RegQueryInfoKeyW(key.get(), info) == reg::kSuccess) {
        // From the last index down, so each deletion leaves the lower indices in place.
        for (std::uint32_t index = info.subKeys; index-- > 0;) {
            std::wstring child;
            if (api_.RegEnumKeyExW(key.get(), index, info.maxSubKeyLen + 1, child) ==
                reg::kSuccess) {
                DeleteTree(key.get(), child, depth + 1);
            }
        }
    }
    // Through the handle that was opened and checked, never by name: a name would follow a link
    // put in the key's place meanwhile (or the link itself, when the key is one).
    return api_.NtDeleteKey(key.get()) == reg::kSuccess;
}

bool TRegistry::DeleteKey(const std::wstring& path) {
    const ResolvedPath resolved = Resolve(path);
    return DeleteTree(resolved.parent, resolved.subKey, 0);
}

bool TRegistry::DeleteValue(const std::wstring& name) {
    return current_ && api_.RegDeleteValueW(current_.get(), name) == reg::kSuccess;
}

}  // namespace hf
