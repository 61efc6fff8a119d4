#pragma once
// TRegistry: a cursor over one root key of the registry, holding at most one open key (the
// current key). Every key it opens is opened with REG_OPTION_OPEN_LINK and no registry-view flag:
// a link key at the end of a path is the key opened, never what it leads to (links on the way,
// such as CurrentControlSet, are followed). The current key is opened with the cursor's access
// (KEY_READ unless the caller asks for more); DeleteKey opens each key it deletes with KEY_READ
// and DELETE. It never creates keys.
//
// Paths, the same for every method that takes one: a path beginning with a backslash starts at
// the root key, with that one backslash removed and the rest (a trailing backslash included)
// passed to the registry unchanged; any other path is relative to the current key, or to the
// root key when none is open.

#include "platform/Platform.h"
#include "platform/Registry.h"
#include "platform/StringList.h"

#include <cstdint>
#include <string>

namespace hf {

class TRegistry {
  public:
    // A cursor on `root` (HKEY_LOCAL_MACHINE unless given) with no key open, whose OpenKey asks
    // for `access`: KEY_READ serves every method but DeleteValue, which needs KEY_SET_VALUE.
    explicit TRegistry(const Platform& platform, std::uint32_t access = reg::kKeyRead,
                       HKey root = kHKeyLocalMachine);
    // Closes the current key, if any.
    ~TRegistry() = default;
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens an existing key and makes it current, closing the previous one; on failure returns
    // false and leaves the current key as it was. Keys are never created, even when `canCreate`
    // is true (every caller passes false).
    bool OpenKey(const std::wstring& path, bool canCreate);
    // Closes the current key, if any; afterwards no key is open.
    void CloseKey();
    // Replaces `names` with the current key's subkey names in enumeration order; empty when no
    // key is open or its counts cannot be read; an index whose enumeration fails is left out.
    void GetKeyNames(TStringList& names);
    // As GetKeyNames for the value names; the default value, when set, is listed as "".
    void GetValueNames(TStringList& names);
    // The value `name` of the current key as text: REG_SZ and REG_EXPAND_SZ up to the first NUL,
    // unexpanded; REG_DWORD as signed decimal; any other type as upper-case hex bytes joined by
    // commas. "" when no key is open, the value cannot be queried or its size is 0. Raises
    // ERegistryException "Failed to get data for '<name>'" when the data cannot be read after
    // its size was taken.
    std::wstring GetDataAsString(const std::wstring& name);
    // Deletes the key at `path` with all its subkeys, depth first, the last-listed subkey first;
    // returns whether the key itself was deleted. Each key goes through the handle that opened
    // and checked it, never by name: a link key is deleted itself and never descended into, so
    // what it leads to stays whole and a loop ends; below kMaxDeleteDepth levels nothing is
    // opened and what is there stays. A key that cannot be opened is not deleted. The current
    // key is the same before and after.
    bool DeleteKey(const std::wstring& path);
    // Whether the current key is a link key (it holds a "SymbolicLinkValue" of type REG_LINK).
    bool CurrentKeyIsLink();

    // How many levels DeleteKey descends below the key it is given.
    static constexpr int kMaxDeleteDepth = 512;
    // Deletes the value `name` of the current key; returns whether it was deleted.
    bool DeleteValue(const std::wstring& name);

    // The current key (0 when none is open).
    HKey CurrentKey() const { return current_.get(); }

  private:
    struct ResolvedPath {
        HKey parent;          // the key the path is relative to
        std::wstring subKey;  // the text handed to the registry
    };
    // The one place the path rule lives.
    ResolvedPath Resolve(const std::wstring& path) const;
    // Deletes `subKey` of `parent` with everything below it; true when the key itself went.
    bool DeleteTree(HKey parent, const std::wstring& subKey, int depth);
    bool IsLink(HKey key);
    // Subkey (or value) names at indices 0 to count - 1, the count read once beforehand.
    void ReadNames(TStringList& names, bool values);

    RegistryApi& api_;
    std::uint32_t access_;
    HKey root_;
    UniqueRegKey current_;
};

}  // namespace hf
