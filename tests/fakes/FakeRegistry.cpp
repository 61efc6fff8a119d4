#include "tests/fakes/FakeRegistry.h"

#include "platform/Text.h"
#include "tests/fakes/Utf16Le.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <iterator>

namespace hf::fake {

namespace {

std::vector<std::wstring_view> Split(std::wstring_view path) {
    std::vector<std::wstring_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find(L'\\', start);
        parts.push_back(path.substr(start, end == std::wstring_view::npos ? end : end - start));
        if (end == std::wstring_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

using KeyPtr = std::shared_ptr<FakeRegistry::Key>;

FakeRegistry::Value* ValueOf(FakeRegistry::Key& key, std::wstring_view name) {
    for (auto& value : key.values) {
        if (SameTextAZ(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

bool Listed(const std::vector<std::wstring>& names, std::wstring_view name) {
    return std::any_of(names.begin(), names.end(),
                       [name](const std::wstring& n) { return SameTextAZ(n, name); });
}

std::wstring StatusText(LStatus status) {
    return std::to_wstring(status);
}

}  // namespace

KeyPtr FakeRegistry::Key::Child(std::wstring_view childName) const {
    auto it = children_.find(UpperCase(childName));
    return it == children_.end() ? nullptr : it->second;
}

FakeRegistry::Key* FakeRegistry::Key::ChildAt(std::size_t index) const {
    if (listedStale_) {
        listed_.clear();
        for (const auto& [folded, child] : children_) {
            listed_.push_back(child.get());
        }
        listedStale_ = false;
    }
    return index < listed_.size() ? listed_[index] : nullptr;
}

std::uint32_t FakeRegistry::Key::LongestSubKeyName() const {
    return nameLengths_.empty() ? 0 : nameLengths_.rbegin()->first;
}

void FakeRegistry::Key::AddChild(KeyPtr child) {
    const auto length = static_cast<std::uint32_t>(child->name.size());
    Key* added = child.get();
    const auto [at, inserted] = children_.emplace(UpperCase(child->name), std::move(child));
    assert(inserted && "a key has one child of each folded name");
    ++nameLengths_[length];
    if (!listedStale_ && std::next(at) == children_.end()) {
        listed_.push_back(added);
    } else {
        listedStale_ = true;
    }
}

void FakeRegistry::Key::RemoveChild(const Key& child) {
    auto at = children_.find(UpperCase(child.name));
    assert(at != children_.end() && at->second.get() == &child);
    if (!listedStale_ && !listed_.empty() && listed_.back() == &child) {
        listed_.pop_back();
    } else {
        listedStale_ = true;
    }
    auto length = nameLengths_.find(static_cast<std::uint32_t>(child.name.size()));
    if (--length->second == 0) {
        nameLengths_.erase(length);
    }
    children_.erase(at);
}

FakeRegistry::FakeRegistry() : root_(std::make_shared<Key>()) {
    root_->name = L"HKLM";
    root_->path = L"HKLM";
}

FakeRegistry::Key& FakeRegistry::AddKey(std::wstring_view path) {
    Key* key = root_.get();
    for (std::wstring_view part : Split(path)) {
        assert(!part.empty() && "set-up paths name every component");
        KeyPtr child = key->Child(part);
        if (!child) {
            child = std::make_shared<Key>();
            child->name = std::wstring(part);
            child->parent = key;
            child->path = key->path + L"\\" + child->name;
            key->AddChild(child);
        }
        key = child.get();
    }
    return *key;
}

FakeRegistry::Key& FakeRegistry::AddLink(std::wstring_view path, std::wstring_view target) {
    Key& link = AddKey(path);
    link.linkTarget = std::wstring(target);
    SetString(path, reg::kSymbolicLinkValue, L"\\Registry\\Machine\\" + std::wstring(target),
              reg::kTypeLink);
    // As the system stores it: the text without a terminating NUL.
    ValueOf(link, reg::kSymbolicLinkValue)->data.resize(2 * (18 + target.size()));
    return link;
}

FakeRegistry::Key* FakeRegistry::FindKey(std::wstring_view path) {
    KeyPtr found;
    return Walk(root_, path, found) == reg::kSuccess ? found.get() : nullptr;
}

void FakeRegistry::SetValue(std::wstring_view path, std::wstring_view name, std::uint32_t type,
                            std::vector<std::uint8_t> data) {
    Key& key = AddKey(path);
    if (Value* value = ValueOf(key, name)) {
        value->type = type;
        value->data = std::move(data);
    } else {
        key.values.push_back(Value{std::wstring(name), type, std::move(data)});
    }
}

void FakeRegistry::SetString(std::wstring_view path, std::wstring_view name, std::wstring_view text,
                             std::uint32_t type) {
    SetValue(path, name, type, test::Utf16Le(text));
}

void FakeRegistry::SetDword(std::wstring_view path, std::wstring_view name, std::uint32_t value) {
    SetValue(path, name, reg::kTypeDword, test::Le32(value));
}

std::vector<std::wstring> FakeRegistry::SubKeyNames(std::wstring_view path) {
    std::vector<std::wstring> names;
    if (Key* key = FindKey(path)) {
        for (std::size_t i = 0; i < key->SubKeyCount(); ++i) {
            names.push_back(key->ChildAt(i)->name);
        }
    }
    return names;
}

std::vector<std::wstring> FakeRegistry::ValueNames(std::wstring_view path) {
    std::vector<std::wstring> names;
    if (Key* key = FindKey(path)) {
        for (const auto& value : key->values) {
            names.push_back(value.name);
        }
    }
    return names;
}

std::vector<std::wstring> FakeRegistry::CallsTo(std::wstring_view function) const {
    std::vector<std::wstring> found;
    for (const auto& call : calls) {
        if (call.starts_with(function) && call.size() > function.size() &&
            call[function.size()] == L'(') {
            found.push_back(call);
        }
    }
    return found;
}

KeyPtr FakeRegistry::KeyOf(HKey handle) const {
    if (handle == kHKeyLocalMachine) {
        return root_;
    }
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

LStatus FakeRegistry::Walk(const KeyPtr& from, std::wstring_view subKey, KeyPtr& found,
                           bool openLink, int depth) const {
    // The system gives up after this many links in one open.
    constexpr int kMaxLinks = 32;
    KeyPtr key = from;
    if (!subKey.empty()) {
        const auto parts = Split(subKey);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].empty()) {
                // One trailing backslash is accepted; a leading or doubled one is bad syntax.
                if (i + 1 == parts.size() && i > 0) {
                    break;
                }
                return reg::kErrorBadPathname;
            }
            key = key->Child(parts[i]);
            if (!key) {
                return reg::kErrorFileNotFound;
            }
            const bool last =
                i + 1 == parts.size() || (i + 2 == parts.size() && parts[i + 1].empty());
            if (key->linkTarget && !(last && openLink)) {
                if (depth >= kMaxLinks) {
                    return reg::kErrorFileNotFound;
                }
                const LStatus status = Walk(root_, *key->linkTarget, key, false, depth + 1);
                if (status != reg::kSuccess) {
                    return status;
                }
            }
        }
    }
    found = key;
    return reg::kSuccess;
}

bool FakeRegistry::Lacks(HKey handle, std::uint32_t needed) const {
    const auto it = granted_.find(handle);
    return it != granted_.end() && (it->second & needed) != needed;
}

std::wstring FakeRegistry::Describe(HKey handle, std::wstring_view subKey) const {
    const KeyPtr key = KeyOf(handle);
    std::wstring text = key ? key->path : L"<handle " + std::to_wstring(handle) + L">";
    if (!subKey.empty()) {
        text += L"\\";
        text += subKey;
    }
    return text;
}

LStatus FakeRegistry::Log(std::wstring_view function, const std::wstring& target, LStatus status) {
    std::wstring entry = std::wstring(function) + L"(" + target + L") = " + StatusText(status);
    calls.push_back(entry);
    if (sharedLog != nullptr) {
        sharedLog->push_back(std::move(entry));
    }
    return status;
}

LStatus FakeRegistry::RegOpenKeyExW(HKey parent, const std::wstring& subKey, std::uint32_t options,
                                    std::uint32_t access, HKey& result) {
    const std::wstring target = Describe(parent, subKey);
    if (before) {
        before(L"RegOpenKeyExW", target);
    }
    const KeyPtr from = KeyOf(parent);
    if (!from) {
        return Log(L"RegOpenKeyExW", target, reg::kErrorInvalidHandle);
    }
    if (from->deleted) {
        return Log(L"RegOpenKeyExW", target, reg::kErrorKeyDeleted);
    }
    KeyPtr key;
    const bool openLink = (options & reg::kOptionOpenLink) != 0;
    const LStatus status = Walk(from, subKey, key, openLink);
    if (status != reg::kSuccess) {
        return Log(L"RegOpenKeyExW", target, status);
    }
    if (((key->deniedAccess | deniedAccess) & access) != 0) {
        return Log(L"RegOpenKeyExW", target, reg::kErrorAccessDenied);
    }
    result = nextHandle_;
    nextHandle_ += 4;
    handles_[result] = key;
    granted_[result] = access;
    return Log(L"RegOpenKeyExW", target, reg::kSuccess);
}

LStatus FakeRegistry::RegQueryInfoKeyW(HKey key, RegKeyInfo& info) {
    const std::wstring target = Describe(key, {});
    if (before) {
        before(L"RegQueryInfoKeyW", target);
    }
    const KeyPtr k = KeyOf(key);
    if (!k) {
        return Log(L"RegQueryInfoKeyW", target, reg::kErrorInvalidHandle);
    }
    if (Lacks(key, reg::kKeyQueryValue)) {
        return Log(L"RegQueryInfoKeyW", target, reg::kErrorAccessDenied);
    }
    if (k->deleted) {
        return Log(L"RegQueryInfoKeyW", target, reg::kErrorKeyDeleted);
    }
    if (k->failQueryInfo != reg::kSuccess) {
        return Log(L"RegQueryInfoKeyW", target, k->failQueryInfo);
    }
    RegKeyInfo result;
    result.subKeys = static_cast<std::uint32_t>(k->SubKeyCount());
    result.maxSubKeyLen = k->LongestSubKeyName();
    result.values = static_cast<std::uint32_t>(k->values.size());
    for (const auto& value : k->values) {
        result.maxValueNameLen =
            std::max(result.maxValueNameLen, static_cast<std::uint32_t>(value.name.size()));
        result.maxValueLen =
            std::max(result.maxValueLen, static_cast<std::uint32_t>(value.data.size()));
    }
    info = result;
    return Log(L"RegQueryInfoKeyW", target, reg::kSuccess);
}

LStatus FakeRegistry::RegEnumKeyExW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                    std::wstring& name) {
    const std::wstring target = Describe(key, {}) + L", " + std::to_wstring(index);
    if (before) {
        before(L"RegEnumKeyExW", target);
    }
    const KeyPtr k = KeyOf(key);
    if (!k) {
        return Log(L"RegEnumKeyExW", target, reg::kErrorInvalidHandle);
    }
    if (Lacks(key, reg::kKeyEnumerateSubKeys)) {
        return Log(L"RegEnumKeyExW", target, reg::kErrorAccessDenied);
    }
    if (k->deleted) {
        return Log(L"RegEnumKeyExW", target, reg::kErrorKeyDeleted);
    }
    if (auto it = k->failEnumKeyAt.find(index); it != k->failEnumKeyAt.end()) {
        return Log(L"RegEnumKeyExW", target, it->second);
    }
    const Key* child = k->ChildAt(index);
    if (child == nullptr) {
        return Log(L"RegEnumKeyExW", target, reg::kErrorNoMoreItems);
    }
    const std::wstring& found = child->name;
    if (found.size() + 1 > capacity) {
        return Log(L"RegEnumKeyExW", target, reg::kErrorMoreData);
    }
    name = found;
    return Log(L"RegEnumKeyExW", target, reg::kSuccess);
}

LStatus FakeRegistry::RegEnumValueW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                    std::wstring& name) {
    const std::wstring target = Describe(key, {}) + L", " + std::to_wstring(index);
    if (before) {
        before(L"RegEnumValueW", target);
    }
    const KeyPtr k = KeyOf(key);
    if (!k) {
        return Log(L"RegEnumValueW", target, reg::kErrorInvalidHandle);
    }
    if (Lacks(key, reg::kKeyQueryValue)) {
        return Log(L"RegEnumValueW", target, reg::kErrorAccessDenied);
    }
    if (k->deleted) {
        return Log(L"RegEnumValueW", target, reg::kErrorKeyDeleted);
    }
    if (auto it = k->failEnumValueAt.find(index); it != k->failEnumValueAt.end()) {
        return Log(L"RegEnumValueW", target, it->second);
    }
    if (index >= k->values.size()) {
        return Log(L"RegEnumValueW", target, reg::kErrorNoMoreItems);
    }
    const std::wstring& found = k->values[index].name;
    if (found.size() + 1 > capacity) {
        return Log(L"RegEnumValueW", target, reg::kErrorMoreData);
    }
    name = found;
    return Log(L"RegEnumValueW", target, reg::kSuccess);
}

LStatus FakeRegistry::RegQueryValueExW(HKey key, const std::wstring& name, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* size) {
    const std::wstring target = Describe(key, {}) + L", " + name;
    if (before) {
        before(L"RegQueryValueExW", target);
    }
    const KeyPtr k = KeyOf(key);
    if (!k) {
        return Log(L"RegQueryValueExW", target, reg::kErrorInvalidHandle);
    }
    if (Lacks(key, reg::kKeyQueryValue)) {
        return Log(L"RegQueryValueExW", target, reg::kErrorAccessDenied);
    }
    if (k->deleted) {
        return Log(L"RegQueryValueExW", target, reg::kErrorKeyDeleted);
    }
    if (data != nullptr && size == nullptr) {
        return Log(L"RegQueryValueExW", target, reg::kErrorInvalidParameter);
    }
    const Value* value = ValueOf(*k, name);
    if (value == nullptr) {
        return Log(L"RegQueryValueExW", target, reg::kErrorFileNotFound);
    }
    if (type != nullptr) {
        *type = value->type;
    }
    const auto stored = static_cast<std::uint32_t>(value->data.size());
    if (data != nullptr) {
        for (const auto& [failing, status] : k->failDataRead) {
            if (SameTextAZ(failing, name)) {
                return Log(L"RegQueryValueExW", target, status);
            }
        }
        if (*size < stored) {
            *size = stored;
            return Log(L"RegQueryValueExW", target, reg::kErrorMoreData);
        }
        std::copy(value->data.begin(), value->data.end(), data);
    }
    if (size != nullptr) {
        *size = stored;
    }
    return Log(L"RegQueryValueExW", target, reg::kSuccess);
}

LStatus FakeRegistry::RegDeleteKeyW(HKey parent, const std::wstring& subKey) {
    const std::wstring target = Describe(parent, subKey);
    if (before) {
        before(L"RegDeleteKeyW", target);
    }
    const KeyPtr from = KeyOf(parent);
    if (!from) {
        return Log(L"RegDeleteKeyW", target, reg::kErrorInvalidHandle);
    }
    if (from->deleted) {
        return Log(L"RegDeleteKeyW", target, reg::kErrorKeyDeleted);
    }
    KeyPtr key;
    const LStatus status = Walk(from, subKey, key);
    if (status != reg::kSuccess) {
        return Log(L"RegDeleteKeyW", target, status);
    }
    if (key == root_ || key->refuseDelete || key->SubKeyCount() != 0) {
        return Log(L"RegDeleteKeyW", target, reg::kErrorAccessDenied);
    }
    key->parent->RemoveChild(*key);
    key->deleted = true;
    key->parent = nullptr;
    return Log(L"RegDeleteKeyW", target, reg::kSuccess);
}

LStatus FakeRegistry::RegDeleteValueW(HKey key, const std::wstring& name) {
    const std::wstring target = Describe(key, {}) + L", " + name;
    if (before) {
        before(L"RegDeleteValueW", target);
    }
    const KeyPtr k = KeyOf(key);
    if (!k) {
        return Log(L"RegDeleteValueW", target, reg::kErrorInvalidHandle);
    }
    if (Lacks(key, reg::kKeySetValue)) {
        return Log(L"RegDeleteValueW", target, reg::kErrorAccessDenied);
    }
    if (k->deleted) {
        return Log(L"RegDeleteValueW", target, reg::kErrorKeyDeleted);
    }
    auto it = std::find_if(k->values.begin(), k->values.end(),
                           [&name](const Value& v) { return SameTextAZ(v.name, name); });
    if (it == k->values.end()) {
        return Log(L"RegDeleteValueW", target, reg::kErrorFileNotFound);
    }
    if (Listed(k->refuseValueDelete, name)) {
        return Log(L"RegDeleteValueW", target, reg::kErrorAccessDenied);
    }
    k->values.erase(it);
    return Log(L"RegDeleteValueW", target, reg::kSuccess);
}

LStatus FakeRegistry::RegCloseKey(HKey key) {
    const std::wstring target = Describe(key, {});
    if (before) {
        before(L"RegCloseKey", target);
    }
    if (key == kHKeyLocalMachine) {
        return Log(L"RegCloseKey", target, reg::kSuccess);
    }
    granted_.erase(key);
    if (handles_.erase(key) == 0) {
        return Log(L"RegCloseKey", target, reg::kErrorInvalidHandle);
    }
    return Log(L"RegCloseKey", target, reg::kSuccess);
}

LStatus FakeRegistry::NtDeleteKey(HKey key) {
    const std::wstring target = Describe(key, {});
    if (before) {
        before(L"NtDeleteKey", target);
    }
    const KeyPtr k = KeyOf(key);
    if (!k) {
        return Log(L"NtDeleteKey", target, reg::kErrorInvalidHandle);
    }
    if (Lacks(key, reg::kDelete)) {
        return Log(L"NtDeleteKey", target, reg::kErrorAccessDenied);
    }
    if (k->deleted) {
        return Log(L"NtDeleteKey", target, reg::kErrorKeyDeleted);
    }
    if (k == root_ || k->refuseDelete || k->SubKeyCount() != 0) {
        return Log(L"NtDeleteKey", target, reg::kErrorAccessDenied);
    }
    k->parent->RemoveChild(*k);
    k->deleted = true;
    k->parent = nullptr;
    return Log(L"NtDeleteKey", target, reg::kSuccess);
}

}  // namespace hf::fake
