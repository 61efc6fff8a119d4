#pragma once
// The fake registry: an in-memory HKEY_LOCAL_MACHINE with Windows' habits (names compared with
// the letters a to z folded, subkeys listed in upper-cased name order, values in the order they
// were set, RegDeleteKeyW refused with 5 on a key that has subkeys, handles to a deleted key
// answering 1018, link keys followed on the way and at the end unless opened with
// REG_OPTION_OPEN_LINK, RegDeleteKeyW following a link too, a call through a handle opened
// without the right it needs refused with 5), failure injection per key, open-handle counting and
// a call log.

#include "platform/Registry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hf::fake {

class FakeRegistry final : public RegistryApi {
  public:
    struct Value {
        std::wstring name;  // empty: the default value
        std::uint32_t type = reg::kTypeNone;
        std::vector<std::uint8_t> data;
    };

    struct Key {
        std::wstring name;
        std::wstring path;      // "HKLM\..." as stored, kept after deletion for the log
        Key* parent = nullptr;  // null for HKLM and once deleted
        bool deleted = false;
        std::vector<Value> values;  // kept in the order they were set
        // A link key: the HKLM-relative path it leads to (existing or not).
        std::optional<std::wstring> linkTarget;

        // Failure injection.
        std::uint32_t deniedAccess = 0;  // an open asking for any of these rights gives 5
        bool refuseDelete = false;       // RegDeleteKeyW and NtDeleteKey of this key give 5
        LStatus failQueryInfo = reg::kSuccess;
        std::map<std::uint32_t, LStatus> failEnumKeyAt;    // index -> status
        std::map<std::uint32_t, LStatus> failEnumValueAt;  // index -> status
        std::vector<std::wstring> refuseValueDelete;       // RegDeleteValueW gives 5
        // RegQueryValueExW with a data buffer gives this status for the named value, although
        // the size query succeeds.
        std::map<std::wstring, LStatus> failDataRead;

        // The subkeys: found by name in logarithmic time and listed by index in constant time,
        // so that a scale test measures the code under test rather than the fake.
        std::size_t SubKeyCount() const { return children_.size(); }
        // The child named `childName` (a to z folded), or null.
        std::shared_ptr<Key> Child(std::wstring_view childName) const;
        // The child at `index` in upper-cased name order, or null past the end.
        Key* ChildAt(std::size_t index) const;
        std::uint32_t LongestSubKeyName() const;
        void AddChild(std::shared_ptr<Key> child);
        void RemoveChild(const Key& child);

      private:
        // By upper-cased name, which is also the order RegEnumKeyExW lists them in.
        std::map<std::wstring, std::shared_ptr<Key>> children_;
        // The same children by index. Additions and deletions at the end keep it; any other
        // change marks it stale and the next listing rebuilds it once.
        mutable std::vector<Key*> listed_;
        mutable bool listedStale_ = false;
        // How many children have a name of each length.
        std::map<std::uint32_t, std::size_t> nameLengths_;
    };

    FakeRegistry();

    // Set-up and inspection; paths are relative to HKLM, components separated by one backslash.
    Key& AddKey(std::wstring_view path);  // creates what is missing; returns the last key
    // A link key at `path` (its folders created as keys) leading to `target`, with the
    // "SymbolicLinkValue" a link key holds. FindKey, SubKeyNames and ValueNames follow links.
    Key& AddLink(std::wstring_view path, std::wstring_view target);
    Key* FindKey(std::wstring_view path);
    bool KeyExists(std::wstring_view path) { return FindKey(path) != nullptr; }
    void SetValue(std::wstring_view path, std::wstring_view name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void SetString(std::wstring_view path, std::wstring_view name, std::wstring_view text,
                   std::uint32_t type = reg::kTypeSz);
    void SetDword(std::wstring_view path, std::wstring_view name, std::uint32_t value);
    std::vector<std::wstring> SubKeyNames(std::wstring_view path);
    std::vector<std::wstring> ValueNames(std::wstring_view path);

    // Rights every key denies, on top of its own deniedAccess.
    std::uint32_t deniedAccess = 0;

    // Handles opened and not yet closed.
    int OpenHandles() const { return static_cast<int>(handles_.size()); }

    // Every call in order, as "Function(path[, name]) = status", the path in full from "HKLM"
    // with the caller's subkey text appended as given.
    std::vector<std::wstring> calls;
    // Each log entry is also appended here when set (to interleave with other fakes' logs).
    std::vector<std::wstring>* sharedLog = nullptr;
    // Runs before every call with its function name and path; it may throw or change the tree.
    std::function<void(std::wstring_view function, std::wstring_view path)> before;

    // Entries of `calls` that begin with `function`.
    std::vector<std::wstring> CallsTo(std::wstring_view function) const;

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

  private:
    // The key a handle stands for; null for an unknown handle.
    std::shared_ptr<Key> KeyOf(HKey handle) const;
    // Resolves `subKey` below `from`: kSuccess and the key, or the status Windows gives. Links
    // on the way are followed; the last component's link too unless `openLink`.
    LStatus Walk(const std::shared_ptr<Key>& from, std::wstring_view subKey,
                 std::shared_ptr<Key>& found, bool openLink = false, int depth = 0) const;
    // Whether `handle` was opened without one of the rights in `needed` (HKLM has them all).
    bool Lacks(HKey handle, std::uint32_t needed) const;
    std::wstring Describe(HKey handle, std::wstring_view subKey) const;
    LStatus Log(std::wstring_view function, const std::wstring& target, LStatus status);

    std::shared_ptr<Key> root_;
    std::map<HKey, std::shared_ptr<Key>> handles_;
    std::map<HKey, std::uint32_t> granted_;  // the rights each open handle was opened with
    HKey nextHandle_ = 0x1000;
};

}  // namespace hf::fake
