#include "services/Registry.h"

#include "platform/Errors.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/unit/services/DataCases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace hf {
namespace {

using fake::FakeRegistry;

constexpr wchar_t kServices[] = L"SYSTEM\\CurrentControlSet\\Services";

std::vector<std::wstring> Names(const TStringList& list) {
    return {list.begin(), list.end()};
}

class TRegistryTest : public ::testing::Test {
  protected:
    TRegistryTest() { platform.registry = &registry; }

    FakeRegistry registry;
    Platform platform;
};

TEST_F(TRegistryTest, ResolvesPathsFromTheRootOrTheCurrentKey) {
    registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\Svc");
    registry.AddKey(L"SYSTEM\\Select");
    struct Case {
        const wchar_t* openFirst;  // opened before, or null for no current key
        const wchar_t* path;
        bool opens;
        const wchar_t* logged;  // the RegOpenKeyExW the path becomes
    };
    const Case cases[] = {
        {nullptr, L"\\SYSTEM\\CurrentControlSet\\Services\\", true,
         L"RegOpenKeyExW(HKLM\\SYSTEM\\CurrentControlSet\\Services\\) = 0"},
        {nullptr, L"SYSTEM\\Select", true, L"RegOpenKeyExW(HKLM\\SYSTEM\\Select) = 0"},
        {L"\\SYSTEM", L"Select", true, L"RegOpenKeyExW(HKLM\\SYSTEM\\Select) = 0"},
        {L"\\SYSTEM", L"\\SYSTEM\\Select", true, L"RegOpenKeyExW(HKLM\\SYSTEM\\Select) = 0"},
        {L"\\SYSTEM", L"SYSTEM", false, L"RegOpenKeyExW(HKLM\\SYSTEM\\SYSTEM) = 2"},
        // Only one leading backslash is removed; the registry rejects the second.
        {L"\\SYSTEM", L"\\\\SYSTEM", false, L"RegOpenKeyExW(HKLM\\\\SYSTEM) = 161"},
        {L"\\SYSTEM\\CurrentControlSet\\Services\\", L"svc", true,
         L"RegOpenKeyExW(HKLM\\SYSTEM\\CurrentControlSet\\Services\\svc) = 0"},
    };
    for (const Case& c : cases) {
        TRegistry cursor(platform);
        if (c.openFirst != nullptr) {
            ASSERT_TRUE(cursor.OpenKey(c.openFirst, false)) << c.openFirst;
        }
        const HKey before = cursor.CurrentKey();
        registry.calls.clear();
        EXPECT_EQ(cursor.OpenKey(c.path, false), c.opens) << c.path;
        ASSERT_FALSE(registry.calls.empty()) << c.path;
        EXPECT_EQ(registry.calls.front(), c.logged) << c.path;
        if (c.opens) {
            EXPECT_NE(cursor.CurrentKey(), before) << c.path;
            // The previous key was closed: only the new one stays open.
            EXPECT_EQ(registry.OpenHandles(), 1) << c.path;
        } else {
            EXPECT_EQ(cursor.CurrentKey(), before) << c.path << ": a failed open changed the key";
        }
    }
    EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(TRegistryTest, FailedOpenKeepsTheCurrentKeyAndItsContents) {
    registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\A");
    registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\Locked").deniedAccess = 0x0001;
    TRegistry cursor(platform);
    ASSERT_TRUE(cursor.OpenKey(L"\\SYSTEM\\CurrentControlSet\\Services", false));
    // A key that refuses KEY_QUERY_VALUE cannot be opened for reading.
    EXPECT_FALSE(cursor.OpenKey(L"Locked", false));
    EXPECT_FALSE(cursor.OpenKey(L"\\SYSTEM\\Missing", false));
    // Never creates: the create flag does not make a missing key appear.
    EXPECT_FALSE(cursor.OpenKey(L"\\SYSTEM\\Missing", true));
    EXPECT_FALSE(registry.KeyExists(L"SYSTEM\\Missing"));
    TStringList names;
    cursor.GetKeyNames(names);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"A", L"Locked"}));
    cursor.CloseKey();
    EXPECT_EQ(cursor.CurrentKey(), HKey{0});
    EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(TRegistryTest, GetDataAsStringFormatsEachType) {
    const auto cases = testcases::DataCases();
    for (const auto& c : cases) {
        registry.SetValue(L"SOFTWARE\\Types", c.name, c.type, c.data);
    }
    TRegistry cursor(platform);
    ASSERT_TRUE(cursor.OpenKey(L"\\SOFTWARE\\Types", false));
    for (const auto& c : cases) {
        EXPECT_EQ(cursor.GetDataAsString(c.name), c.expected)
            << "value '" << std::wstring(c.name) << "' (type " << c.type << ")";
    }
    // Value names are matched without regard to the case of a to z.
    EXPECT_EQ(cursor.GetDataAsString(L"sZ"), L"system32\\drivers\\x.sys");
    EXPECT_EQ(cursor.GetDataAsString(L"Missing"), L"");
}

TEST_F(TRegistryTest, GetDataAsStringIsEmptyWithoutAKeyOrAfterTheKeyWasDeleted) {
    registry.SetString(L"SOFTWARE\\K", L"v", L"text");
    TRegistry cursor(platform);
    registry.calls.clear();
    EXPECT_EQ(cursor.GetDataAsString(L"v"), L"");
    EXPECT_TRUE(registry.calls.empty()) << "queried without an open key";

    ASSERT_TRUE(cursor.OpenKey(L"\\SOFTWARE\\K", false));
    EXPECT_EQ(cursor.GetDataAsString(L"v"), L"text");
    TRegistry other(platform);
    ASSERT_TRUE(other.DeleteKey(L"\\SOFTWARE\\K"));
    EXPECT_EQ(cursor.GetDataAsString(L"v"), L"");
}

TEST_F(TRegistryTest, DataThatCannotBeReadAfterItsSizeRaises) {
    registry.SetString(L"SOFTWARE\\K", L"ImagePath", L"system32\\drivers\\a.sys");
    registry.SetString(L"SOFTWARE\\K", L"Growing", L"ab");
    registry.FindKey(L"SOFTWARE\\K")->failDataRead[L"imagepath"] = reg::kErrorAccessDenied;
    TRegistry cursor(platform);
    ASSERT_TRUE(cursor.OpenKey(L"\\SOFTWARE\\K", false));
    try {
        cursor.GetDataAsString(L"ImagePath");
        FAIL() << "expected ERegistryException";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), L"Failed to get data for 'ImagePath'");
    }
    // The value grows between the size query and the read: the read answers "more data".
    int queries = 0;
    registry.before = [&](std::wstring_view function, std::wstring_view) {
        if (function == L"RegQueryValueExW" && ++queries == 2) {
            registry.SetString(L"SOFTWARE\\K", L"Growing", L"a much longer text");
        }
    };
    try {
        cursor.GetDataAsString(L"Growing");
        FAIL() << "expected ERegistryException";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), L"Failed to get data for 'Growing'");
    }
    cursor.CloseKey();
    EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(TRegistryTest, ListsKeyAndValueNamesWithTheDefaultValueAsEmptyText) {
    registry.AddKey(L"SOFTWARE\\K\\beta");
    registry.AddKey(L"SOFTWARE\\K\\Alpha");
    registry.SetString(L"SOFTWARE\\K", L"Type", L"1");
    registry.SetString(L"SOFTWARE\\K", L"", L"default");
    registry.SetDword(L"SOFTWARE\\K", L"Start", 3);
    TRegistry cursor(platform);
    TStringList names;
    names.Add(L"stale");
    cursor.GetKeyNames(names);
    EXPECT_EQ(names.Count(), 0) << "no key open: the list is cleared and stays empty";

    ASSERT_TRUE(cursor.OpenKey(L"\\SOFTWARE\\K", false));
    cursor.GetKeyNames(names);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"Alpha", L"beta"}));
    cursor.GetValueNames(names);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"Type", L"", L"Start"}));

    registry.FindKey(L"SOFTWARE\\K")->failQueryInfo = reg::kErrorAccessDenied;
    cursor.GetKeyNames(names);
    EXPECT_EQ(names.Count(), 0) << "counts unreadable: the list stays empty";
}

TEST_F(TRegistryTest, EnumerationSkipsIndicesThatFailAndNeverInventsNames) {
    for (const wchar_t* name : {L"A", L"B", L"C", L"D"}) {
        registry.AddKey(std::wstring(L"SOFTWARE\\K\\") + name);
        registry.SetDword(L"SOFTWARE\\K", name, 1);
    }
    FakeRegistry::Key& key = *registry.FindKey(L"SOFTWARE\\K");
    key.failEnumKeyAt[1] = reg::kErrorAccessDenied;
    key.failEnumValueAt[2] = reg::kErrorMoreData;
    TRegistry cursor(platform);
    ASSERT_TRUE(cursor.OpenKey(L"\\SOFTWARE\\K", false));
    TStringList names;
    cursor.GetKeyNames(names);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"A", L"C", L"D"}));
    cursor.GetValueNames(names);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"A", L"B", L"D"}));

    // A key removed after the count was read: the last index is past the end now.
    key.failEnumKeyAt.clear();
    registry.before = [&](std::wstring_view function, std::wstring_view) {
        if (function == L"RegEnumKeyExW" && registry.KeyExists(L"SOFTWARE\\K\\B")) {
            TRegistry(platform).DeleteKey(L"\\SOFTWARE\\K\\B");
        }
    };
    cursor.GetKeyNames(names);
    EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"A", L"C", L"D"}));
}

// Each call needs its right on the handle, as on Windows: without it the fake refuses it with
// 5, so a step that opens a key with too little access fails its tests.
TEST(RegistryAccess, ACallThroughAHandleWithoutItsRightIsRefused) {
    RegKeyInfo info;
    std::wstring name;
    std::uint32_t size = 0;
    const struct {
        const char* call;
        std::uint32_t right;
        LStatus withIt;
        std::function<LStatus(RegistryApi&, HKey)> make;
    } cases[] = {
        {"RegQueryInfoKeyW", 0x0001, 0,
         [&](auto& r, HKey k) { return r.RegQueryInfoKeyW(k, info); }},
        {"RegEnumKeyExW", 0x0008, 259,
         [&](auto& r, HKey k) { return r.RegEnumKeyExW(k, 0, 8, name); }},
        {"RegEnumValueW", 0x0001, 0,
         [&](auto& r, HKey k) { return r.RegEnumValueW(k, 0, 8, name); }},
        {"RegQueryValueExW", 0x0001, 0,
         [&](auto& r, HKey k) { return r.RegQueryValueExW(k, L"v", nullptr, nullptr, &size); }},
        {"RegDeleteValueW", 0x0002, 0, [](auto& r, HKey k) { return r.RegDeleteValueW(k, L"v"); }},
        {"NtDeleteKey", 0x10000, 0, [](auto& r, HKey k) { return r.NtDeleteKey(k); }},
    };
    for (const auto& c : cases) {
        for (const bool granted : {false, true}) {
            FakeRegistry registry;
            registry.SetString(L"SOFTWARE\\K", L"v", L"1");
            HKey key = 0;
            ASSERT_EQ(0, registry.RegOpenKeyExW(kHKeyLocalMachine, L"SOFTWARE\\K", 0,
                                                granted ? c.right : 0xF003F & ~c.right, key));
            EXPECT_EQ(granted ? c.withIt : 5, c.make(registry, key)) << c.call << " " << granted;
            registry.RegCloseKey(key);
        }
    }
}

class KeyTreeTest : public TRegistryTest {
  protected:
    // T: A (A1, A2 (X)), B, with values on the way.
    KeyTreeTest() {
        registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\T\\A\\A1");
        registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\T\\A\\A2\\X");
        registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\T\\B");
        registry.SetString(L"SYSTEM\\CurrentControlSet\\Services\\T\\A", L"v", L"1");
        registry.SetString(L"SYSTEM\\CurrentControlSet\\Services\\T", L"", L"d");
    }
};

TEST_F(KeyTreeTest, DeletesTheTreeDepthFirstLastListedChildFirst) {
    registry.AddKey(L"SOFTWARE");
    TRegistry cursor(platform);
    ASSERT_TRUE(cursor.OpenKey(L"\\SOFTWARE", false));
    const HKey current = cursor.CurrentKey();
    registry.calls.clear();

    EXPECT_TRUE(cursor.DeleteKey(L"\\SYSTEM\\CurrentControlSet\\Services\\T"));
    const std::wstring s = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\";
    EXPECT_EQ(registry.CallsTo(L"NtDeleteKey"), (std::vector<std::wstring>{
                                                    L"NtDeleteKey(" + s + L"T\\B) = 0",
                                                    L"NtDeleteKey(" + s + L"T\\A\\A2\\X) = 0",
                                                    L"NtDeleteKey(" + s + L"T\\A\\A2) = 0",
                                                    L"NtDeleteKey(" + s + L"T\\A\\A1) = 0",
                                                    L"NtDeleteKey(" + s + L"T\\A) = 0",
                                                    L"NtDeleteKey(" + s + L"T) = 0",
                                                }));
    EXPECT_TRUE(registry.CallsTo(L"RegDeleteKeyW").empty()) << "a key deleted by its name";
    EXPECT_FALSE(registry.KeyExists(L"SYSTEM\\CurrentControlSet\\Services\\T"));
    // The cursor's own key is untouched, and every handle the deletion opened is closed.
    EXPECT_EQ(cursor.CurrentKey(), current);
    EXPECT_EQ(registry.OpenHandles(), 1);
    EXPECT_EQ(registry.CallsTo(L"RegOpenKeyExW").size(), registry.CallsTo(L"RegCloseKey").size());
}

// Link keys are deleted themselves, through the handle that opened them, and never descended
// into: what they lead to stays whole, and a link back to an ancestor ends.
TEST(KeyTreeLinks, DeletesLinksThemselvesAndNeverWhatTheyLeadTo) {
    const std::wstring services = L"SYSTEM\\CurrentControlSet\\Services";
    const std::wstring t = services + L"\\T";
    const std::wstring logged = L"HKLM\\" + t;
    const struct {
        const char* what;
        std::wstring link;       // below T
        std::wstring target;     // from HKLM
        std::wstring deleteKey;  // what DeleteKey is given
    } cases[] = {
        {"a link to a victim", L"A\\ToVictim", L"SOFTWARE\\Victim", L"\\" + t},
        {"a link to every service", L"ToServices", services, L"\\" + t},
        {"a link to an ancestor (a loop)", L"A\\A2\\Loop", t, L"\\" + t},
        {"a link to itself", L"Self", t + L"\\Self", L"\\" + t},
        {"a link given to DeleteKey", L"ToVictim", L"SOFTWARE\\Victim", L"\\" + t + L"\\ToVictim"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        Platform platform;
        platform.registry = &registry;
        registry.AddKey(t + L"\\A\\A1");
        registry.AddKey(t + L"\\A\\A2\\X");
        registry.AddKey(services + L"\\Neighbour\\Enum");
        registry.AddKey(L"SOFTWARE\\Victim\\Child");
        registry.SetString(L"SOFTWARE\\Victim", L"v", L"1");
        registry.AddLink(t + L"\\" + c.link, c.target);
        TRegistry cursor(platform);
        EXPECT_TRUE(cursor.DeleteKey(c.deleteKey));
        const auto deletions = registry.CallsTo(L"NtDeleteKey");
        EXPECT_EQ(1, std::count(deletions.begin(), deletions.end(),
                                L"NtDeleteKey(" + logged + L"\\" + c.link + L") = 0"));
        EXPECT_EQ(c.deleteKey.ends_with(L"ToVictim"), registry.KeyExists(t));
        EXPECT_TRUE(registry.KeyExists(L"SOFTWARE\\Victim\\Child"));
        EXPECT_EQ(registry.ValueNames(L"SOFTWARE\\Victim"), std::vector<std::wstring>{L"v"});
        EXPECT_TRUE(registry.KeyExists(services + L"\\Neighbour\\Enum"));
        EXPECT_EQ(registry.OpenHandles(), 0);
    }
}

// Windows keeps a registry tree within 512 levels: a chain of keys reaching that far below the
// key given goes whole. One level more stays, its deepest key never opened, so none above it can.
TEST(KeyTreeLinks, TheDescentIsBounded) {
    // Keys in the chain (the key given included), whether it goes, keys opened.
    for (const auto& [keys, deleted, opened] :
         {std::tuple<int, bool, std::size_t>{20, true, 20}, {513, true, 513}, {514, false, 513}}) {
        FakeRegistry registry;
        Platform platform;
        platform.registry = &registry;
        std::wstring path = L"SOFTWARE\\Deep";
        for (int key = 1; key < keys; ++key) {
            path += L"\\K";
        }
        registry.AddKey(path);
        EXPECT_EQ(deleted, TRegistry(platform).DeleteKey(L"\\SOFTWARE\\Deep")) << keys;
        EXPECT_EQ(deleted, !registry.KeyExists(path)) << keys;
        EXPECT_EQ(registry.CallsTo(L"RegOpenKeyExW").size(), opened) << keys;
        EXPECT_EQ(registry.OpenHandles(), 0);
    }
}

TEST_F(KeyTreeTest, ResolvesRelativeToTheCurrentKeyOrTheRoot) {
    TRegistry cursor(platform);
    EXPECT_TRUE(cursor.DeleteKey(L"SYSTEM\\CurrentControlSet\\Services\\T\\A\\A1"));
    EXPECT_EQ(registry.CallsTo(L"NtDeleteKey").back(),
              L"NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\T\\A\\A1) = 0");
    ASSERT_TRUE(cursor.OpenKey(L"\\SYSTEM\\CurrentControlSet\\Services\\T", false));
    EXPECT_TRUE(cursor.DeleteKey(L"B"));
    EXPECT_EQ(registry.CallsTo(L"NtDeleteKey").back(),
              L"NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\T\\B) = 0");
    EXPECT_FALSE(cursor.DeleteKey(L"Missing"));
    EXPECT_EQ(registry.SubKeyNames(L"SYSTEM\\CurrentControlSet\\Services\\T"),
              (std::vector<std::wstring>{L"A"}));
}

// A key swapped for a link to a victim between its check and its deletion: the deletion goes
// to the key that was checked (gone by then), never through the link by name.
TEST_F(KeyTreeTest, AKeySwappedForALinkAfterItsCheckLeadsNowhere) {
    const std::wstring b = L"SYSTEM\\CurrentControlSet\\Services\\T\\B";
    registry.AddKey(L"SOFTWARE\\Victim");
    bool swapped = false;
    registry.before = [&](std::wstring_view function, std::wstring_view path) {
        if (!swapped && function == L"RegQueryInfoKeyW" && path.ends_with(L"\\T\\B")) {
            swapped = true;
            HKey key = 0;
            ASSERT_EQ(0, registry.RegOpenKeyExW(kHKeyLocalMachine, b, 0, 0x10000, key));
            ASSERT_EQ(0, registry.NtDeleteKey(key));
            registry.RegCloseKey(key);
            registry.AddLink(b, L"SOFTWARE\\Victim");
        }
    };
    EXPECT_FALSE(TRegistry(platform).DeleteKey(L"\\SYSTEM\\CurrentControlSet\\Services\\T"));
    EXPECT_TRUE(swapped);
    EXPECT_TRUE(registry.KeyExists(L"SOFTWARE\\Victim"));
    EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(KeyTreeTest, AKeyRefusingDeletionKeepsItsAncestorsAndNothingElse) {
    registry.FindKey(L"SYSTEM\\CurrentControlSet\\Services\\T\\A\\A1")->refuseDelete = true;
    TRegistry cursor(platform);
    EXPECT_FALSE(cursor.DeleteKey(L"\\SYSTEM\\CurrentControlSet\\Services\\T"));
    EXPECT_TRUE(registry.KeyExists(L"SYSTEM\\CurrentControlSet\\Services\\T\\A\\A1"));
    EXPECT_EQ(registry.SubKeyNames(L"SYSTEM\\CurrentControlSet\\Services\\T"),
              (std::vector<std::wstring>{L"A"}));
    EXPECT_EQ(registry.SubKeyNames(L"SYSTEM\\CurrentControlSet\\Services\\T\\A"),
              (std::vector<std::wstring>{L"A1"}));
    EXPECT_EQ(registry.OpenHandles(), 0);
}

// A listing that fails part-way leaves only what it could not list: that subtree, and the keys
// above it (each now holding nothing else); the deletion reports false and raises nothing.
TEST_F(KeyTreeTest, AListingThatFailsPartWayLeavesOnlyWhatItCouldNotList) {
    struct Case {
        const char* what;
        std::wstring failingKey;  // below Services\T
        bool queryInfo;           // RegQueryInfoKeyW fails; otherwise RegEnumKeyExW at `index`
        std::uint32_t index;
        LStatus status;
        std::vector<std::wstring> left;  // the tree under T afterwards, depth first
    };
    const Case cases[] = {
        {"the counts of A cannot be read",
         L"\\A",
         true,
         0,
         reg::kErrorAccessDenied,
         {L"A", L"A\\A1", L"A\\A2", L"A\\A2\\X"}},
        {"A's second subkey cannot be listed",
         L"\\A",
         false,
         1,
         reg::kErrorAccessDenied,
         {L"A", L"A\\A2", L"A\\A2\\X"}},
        {"T's first subkey grew a longer name",
         L"",
         false,
         0,
         reg::kErrorMoreData,
         {L"A", L"A\\A1", L"A\\A2", L"A\\A2\\X"}},
        {"the counts of T cannot be read",
         L"",
         true,
         0,
         reg::kErrorKeyDeleted,
         {L"A", L"A\\A1", L"A\\A2", L"A\\A2\\X", L"B"}},
    };
    const std::wstring t = L"SYSTEM\\CurrentControlSet\\Services\\T";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry local;
        local.AddKey(t + L"\\A\\A1");
        local.AddKey(t + L"\\A\\A2\\X");
        local.AddKey(t + L"\\B");
        FakeRegistry::Key& failing = *local.FindKey(t + c.failingKey);
        if (c.queryInfo) {
            failing.failQueryInfo = c.status;
        } else {
            failing.failEnumKeyAt[c.index] = c.status;
        }
        const Platform localPlatform{.registry = &local};
        TRegistry cursor(localPlatform);

        EXPECT_FALSE(cursor.DeleteKey(L"\\" + t));

        std::vector<std::wstring> left;
        std::function<void(const std::wstring&)> walk = [&](const std::wstring& below) {
            for (const auto& name : local.SubKeyNames(t + below)) {
                left.push_back((below + L"\\" + name).substr(1));
                walk(below + L"\\" + name);
            }
        };
        walk(L"");
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(local.OpenHandles(), 0);
    }
}

TEST_F(KeyTreeTest, DeleteValueRemovesOneValueOfTheCurrentKey) {
    TRegistry cursor(platform, reg::kKeyRead | reg::kKeySetValue);
    EXPECT_FALSE(cursor.DeleteValue(L"")) << "no key open";
    ASSERT_TRUE(cursor.OpenKey(L"\\SYSTEM\\CurrentControlSet\\Services\\T", false));
    EXPECT_TRUE(cursor.DeleteValue(L""));
    EXPECT_FALSE(cursor.DeleteValue(L""));
    EXPECT_TRUE(registry.ValueNames(L"SYSTEM\\CurrentControlSet\\Services\\T").empty());
    EXPECT_EQ(registry.ValueNames(L"SYSTEM\\CurrentControlSet\\Services\\T\\A"),
              (std::vector<std::wstring>{L"v"}));
}

}  // namespace
}  // namespace hf
