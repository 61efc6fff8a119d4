// TRegistry and the hfFilter key purge against the real registry: key trees the tests create
// under HKLM\SYSTEM\CurrentControlSet\Services and remove again.

#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/RegistryWin32.h"
#include "services/FilterPurge.h"
#include "services/Registry.h"
#include "tests/fakes/Utf16Le.h"
#include "tests/unit/services/DataCases.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace hf {
namespace {

constexpr wchar_t kServices[] = L"SYSTEM\\CurrentControlSet\\Services";

std::wstring Under(const std::wstring& relative) {
    return std::wstring(kServices) + L"\\" + relative;
}

UniqueNativeKey Create(const std::wstring& path) {
    HKEY key = nullptr;
    const LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << "RegCreateKeyExW " << path.size();
    return UniqueNativeKey(NativeKeyTraits{}, key);
}

// Writes `data` with non-NUL bytes around it, so the registry's own terminator repair (it adds a
// NUL it finds just past a string) leaves the count as given.
void Set(const std::wstring& path, const std::wstring& name, DWORD type, const test::Bytes& data) {
    UniqueNativeKey key = Create(path);
    std::vector<BYTE> padded(data.size() + 8, 0xFF);
    std::copy(data.begin(), data.end(), padded.begin() + 4);
    ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, padded.data() + 4,
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

bool Exists(const std::wstring& path) {
    HKEY key = nullptr;
    const bool opened =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    const UniqueNativeKey owned(NativeKeyTraits{}, opened ? key : nullptr);
    return opened;
}

std::vector<std::wstring> Sorted(const TStringList& list) {
    std::vector<std::wstring> names(list.begin(), list.end());
    std::sort(names.begin(), names.end());
    return names;
}

class RegistryWine : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const std::wstring& name : created) {
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Under(name).c_str());
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, Under(name).c_str());
        }
    }
    // A tree T: A (A1, A2 (X)), B, with a value on A and a default value on T.
    void MakeTree(const std::wstring& t) {
        created.push_back(t);
        Create(Under(t + L"\\A\\A1"));
        Create(Under(t + L"\\A\\A2\\X"));
        Create(Under(t + L"\\B"));
        Set(Under(t + L"\\A"), L"v", REG_SZ, test::Utf16Le(L"1"));
        Set(Under(t), L"", REG_SZ, test::Utf16Le(L"d"));
        Set(Under(t), L"Start", REG_DWORD, test::Le32(3));
    }

    Win32RegistryApi registry;
    Platform platform{.registry = &registry};
    std::vector<std::wstring> created;
};

TEST_F(RegistryWine, TheRootKeyIsHkeyLocalMachine) {
    EXPECT_EQ(kHKeyLocalMachine, reinterpret_cast<HKey>(HKEY_LOCAL_MACHINE));
}

TEST_F(RegistryWine, ResolvesPathsFromTheRootOrTheCurrentKey) {
    MakeTree(L"hfTestPaths");
    struct Case {
        const wchar_t* openFirst;
        const wchar_t* path;
        bool opens;
    };
    const Case cases[] = {
        {nullptr, L"\\SYSTEM\\CurrentControlSet\\Services\\", true},
        {nullptr, L"SYSTEM\\CurrentControlSet\\Services\\hfTestPaths", true},
        {L"\\SYSTEM\\CurrentControlSet\\Services\\", L"hftestpaths\\A", true},
        {L"\\SYSTEM\\CurrentControlSet\\Services", L"\\SYSTEM\\CurrentControlSet", true},
        {L"\\SYSTEM\\CurrentControlSet\\Services", L"SYSTEM", false},
        {L"\\SYSTEM", L"\\\\SYSTEM", false},
        {nullptr, L"\\SYSTEM\\CurrentControlSet\\Services\\hfTestMissing", false},
    };
    for (const Case& c : cases) {
        TRegistry cursor(platform);
        if (c.openFirst != nullptr) {
            ASSERT_TRUE(cursor.OpenKey(c.openFirst, false));
        }
        const HKey before = cursor.CurrentKey();
        EXPECT_EQ(cursor.OpenKey(c.path, false), c.opens)
            << "path " << testing::PrintToString(std::wstring(c.path));
        if (!c.opens) {
            EXPECT_EQ(cursor.CurrentKey(), before);
        }
    }
}

TEST_F(RegistryWine, GetDataAsStringFormatsEachType) {
    created.push_back(L"hfTestTypes");
    const auto cases = testcases::DataCases();
    for (const auto& c : cases) {
        Set(Under(L"hfTestTypes"), c.name, c.type, c.data);
    }
    TRegistry cursor(platform);
    ASSERT_TRUE(cursor.OpenKey(L"\\SYSTEM\\CurrentControlSet\\Services\\", false));
    ASSERT_TRUE(cursor.OpenKey(L"hfTestTypes", false));
    for (const auto& c : cases) {
        EXPECT_EQ(cursor.GetDataAsString(c.name), c.expected)
            << "value " << testing::PrintToString(c.name) << " (type " << c.type << ")";
    }
    EXPECT_EQ(cursor.GetDataAsString(L"sZ"), L"system32\\drivers\\x.sys");
    EXPECT_EQ(cursor.GetDataAsString(L"Missing"), L"");
}

TEST_F(RegistryWine, ListsNamesWithTheDefaultValueAsEmptyText) {
    MakeTree(L"hfTestNames");
    TRegistry cursor(platform);
    ASSERT_TRUE(cursor.OpenKey(L"\\SYSTEM\\CurrentControlSet\\Services\\hfTestNames", false));
    TStringList names;
    cursor.GetKeyNames(names);
    EXPECT_EQ(Sorted(names), (std::vector<std::wstring>{L"A", L"B"}));
    cursor.GetValueNames(names);
    EXPECT_EQ(Sorted(names), (std::vector<std::wstring>{L"", L"Start"}));
}

TEST_F(RegistryWine, DeletesANestedTreeAndKeepsTheCurrentKey) {
    MakeTree(L"hfTestTree");
    MakeTree(L"hfTestTree2");
    TRegistry cursor(platform, reg::kKeyRead | reg::kKeySetValue);
    ASSERT_TRUE(cursor.OpenKey(L"\\SYSTEM\\CurrentControlSet\\Services\\hfTestTree2", false));
    const HKey current = cursor.CurrentKey();
    EXPECT_TRUE(cursor.DeleteKey(L"\\SYSTEM\\CurrentControlSet\\Services\\hfTestTree"));
    EXPECT_FALSE(Exists(Under(L"hfTestTree")));
    EXPECT_EQ(cursor.CurrentKey(), current);
    // Relative to the current key, which still works.
    EXPECT_TRUE(cursor.DeleteKey(L"A"));
    EXPECT_FALSE(Exists(Under(L"hfTestTree2\\A")));
    EXPECT_TRUE(Exists(Under(L"hfTestTree2\\B")));
    EXPECT_FALSE(cursor.DeleteKey(L"Missing"));
    EXPECT_TRUE(cursor.DeleteValue(L""));
    EXPECT_FALSE(cursor.DeleteValue(L""));
    EXPECT_EQ(cursor.GetDataAsString(L"Start"), L"3");
}

TEST_F(RegistryWine, PurgeEmptiesAndDeletesTheFilterKeyStoredInLowerCase) {
    // Nothing to do when the key is absent.
    ASSERT_FALSE(Exists(Under(L"hfFilter")));
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));

    MakeTree(L"hffilter");
    Create(Under(L"hffilter\\Instances\\Deep\\Deeper"));
    MakeTree(L"hfFilterNeighbour");
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
    EXPECT_FALSE(Exists(Under(L"hffilter")));
    EXPECT_TRUE(Exists(Under(L"hfFilterNeighbour\\A\\A2\\X")));
}

// Registry link keys (REG_OPTION_CREATE_LINK and a REG_LINK "SymbolicLinkValue") in the filter's
// tree: the purge deletes each link itself and never what it leads to. hfFilter here is a key the
// service manager does not know (written after it started, no service registered), so no manager
// call meets a link.
class RegistryLinks : public RegistryWine {
  protected:
    static constexpr wchar_t kVictim[] = L"SYSTEM\\hfLabVictim";

    void SetUp() override {
        Create(std::wstring(kVictim) + L"\\Child");
        Set(kVictim, L"v", REG_SZ, test::Utf16Le(L"1"));
    }
    void TearDown() override {
        // Links first, through a handle that opened them: a deletion by name follows them.
        for (const std::wstring& link : links) {
            HKey key = 0;
            if (registry.RegOpenKeyExW(kHKeyLocalMachine, link, reg::kOptionOpenLink,
                                       KEY_ALL_ACCESS, key) == ERROR_SUCCESS) {
                registry.NtDeleteKey(key);
                registry.RegCloseKey(key);
            }
        }
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Under(L"hfFilter").c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, Under(L"hfFilter").c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kVictim);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kVictim);
    }

    // A link key at `path` (below HKLM) leading to `target` (below HKLM).
    void Link(const std::wstring& path, const std::wstring& target) {
        HKEY key = nullptr;
        ASSERT_EQ(
            ERROR_SUCCESS,
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr))
            << "Wine could not make a link key";
        const UniqueNativeKey owned(NativeKeyTraits{}, key);
        links.push_back(path);
        const std::wstring text = L"\\Registry\\Machine\\" + target;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                                   reinterpret_cast<const BYTE*>(text.data()),
                                   static_cast<DWORD>(text.size() * sizeof(wchar_t))));
    }

    bool VictimWhole() {
        TRegistry cursor(platform);
        return Exists(std::wstring(kVictim) + L"\\Child") &&
               cursor.OpenKey(std::wstring(L"\\") + kVictim, false) &&
               cursor.GetDataAsString(L"v") == L"1";
    }

    std::vector<std::wstring> links;
};

TEST_F(RegistryLinks, ALinkToAVictimLeavesTheVictimWhole) {
    for (const wchar_t* where : {L"hfFilter\\Instances\\ToVictim", L"hfFilter"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(where)));
        if (std::wstring(where) != L"hfFilter") {
            Create(Under(L"hfFilter\\Instances\\Default"));
        }
        Link(Under(where), kVictim);
        ASSERT_TRUE(Exists(Under(where) + L"\\Child")) << "the link leads to the victim";
        HKey opened = 0;
        ASSERT_EQ(ERROR_SUCCESS, registry.RegOpenKeyExW(kHKeyLocalMachine, Under(where),
                                                        reg::kOptionOpenLink, KEY_READ, opened));
        DWORD type = 0;
        const LStatus status =
            registry.RegQueryValueExW(opened, L"SymbolicLinkValue",
                                      reinterpret_cast<std::uint32_t*>(&type), nullptr, nullptr);
        registry.RegCloseKey(opened);
        EXPECT_TRUE(status == ERROR_SUCCESS && type == REG_LINK)
            << "REG_OPTION_OPEN_LINK opens the link itself";

        EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
        EXPECT_FALSE(Exists(Under(L"hfFilter"))) << "hfFilter and the link are gone";
        EXPECT_TRUE(VictimWhole());
    }
}

TEST_F(RegistryLinks, ALinkBackToTheFilterKeyEnds) {
    Create(Under(L"hfFilter\\Instances\\Default"));
    Link(Under(L"hfFilter\\Instances\\Loop"), Under(L"hfFilter"));
    ASSERT_TRUE(Exists(Under(L"hfFilter\\Instances\\Loop\\Instances\\Default")))
        << "the link loops";
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
    EXPECT_FALSE(Exists(Under(L"hfFilter")));
    EXPECT_TRUE(VictimWhole());
}

}  // namespace
}  // namespace hf
