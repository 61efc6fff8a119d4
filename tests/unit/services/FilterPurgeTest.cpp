#include "services/FilterPurge.h"

#include "platform/Errors.h"
#include "tests/fakes/FakeRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace hf {
namespace {

using fake::FakeRegistry;
using Calls = std::vector<std::wstring>;

const std::wstring kKey = L"SYSTEM\\CurrentControlSet\\Services\\hfFilter";
const std::wstring kLogged = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\";

// The deletions in the order they were asked for.
Calls Deletions(const FakeRegistry& registry) {
    Calls found;
    for (const auto& call : registry.calls) {
        if (call.starts_with(L"RegDelete") || call.starts_with(L"NtDeleteKey")) {
            found.push_back(call);
        }
    }
    return found;
}

class FilterPurgeTest : public ::testing::Test {
  protected:
    FilterPurgeTest() {
        platform.registry = &registry;
        // Every key grants KEY_READ, KEY_SET_VALUE and DELETE only.
        registry.deniedAccess = ~(0x20019u | 0x0002u | 0x10000u);
    }

    // hfFilter stored under `stored`: Instances (Default, Second (Deep)), Enum; three values.
    void Seed(const std::wstring& stored = L"hfFilter") { Seed(registry, stored); }
    static void Seed(FakeRegistry& registry, const std::wstring& stored = L"hfFilter") {
        const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + stored;
        registry.AddKey(key + L"\\Instances\\Default");
        registry.AddKey(key + L"\\Instances\\Second\\Deep");
        registry.SetString(key + L"\\Instances\\Second", L"Altitude", L"1");
        registry.AddKey(key + L"\\Enum");
        registry.SetString(key, L"ImagePath", L"system32\\drivers\\hfFilter.sys");
        registry.SetDword(key, L"Start", 1);
        registry.SetString(key, L"", L"default");
        registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\Neighbour");
    }

    FakeRegistry registry;
    Platform platform;
};

TEST_F(FilterPurgeTest, AbsentOrLockedKeyChangesNothing) {
    registry.AddKey(L"SYSTEM\\CurrentControlSet\\Services\\Other");
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
    EXPECT_EQ(registry.calls, Calls{L"RegOpenKeyExW(" + kLogged + L"hfFilter) = 2"});

    Seed();
    registry.FindKey(kKey)->deniedAccess = 0x0002;  // KEY_SET_VALUE
    registry.calls.clear();
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
    EXPECT_EQ(registry.calls, Calls{L"RegOpenKeyExW(" + kLogged + L"hfFilter) = 5"});
    EXPECT_EQ(registry.SubKeyNames(kKey), (Calls{L"Enum", L"Instances"}));
}

TEST_F(FilterPurgeTest, DeletesSubkeysThenValuesThenTheKey) {
    Seed();
    PurgeFilterServiceKey(platform);
    const std::wstring k = L"NtDeleteKey(" + kLogged + L"hfFilter";
    const std::wstring v = L"RegDeleteValueW(" + kLogged + L"hfFilter, ";
    EXPECT_EQ(Deletions(registry), (Calls{
                                       k + L"\\Enum) = 0",
                                       k + L"\\Instances\\Second\\Deep) = 0",
                                       k + L"\\Instances\\Second) = 0",
                                       k + L"\\Instances\\Default) = 0",
                                       k + L"\\Instances) = 0",
                                       v + L"ImagePath) = 0",
                                       v + L"Start) = 0",
                                       v + L") = 0",
                                       k + L") = 0",
                                   }));
    EXPECT_FALSE(registry.KeyExists(kKey));
    EXPECT_TRUE(registry.KeyExists(L"SYSTEM\\CurrentControlSet\\Services\\Neighbour"));
    EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(FilterPurgeTest, AKeyStoredInLowerCaseIsTheSameKey) {
    Seed(L"hffilter");
    PurgeFilterServiceKey(platform);
    EXPECT_FALSE(registry.KeyExists(L"SYSTEM\\CurrentControlSet\\Services\\hffilter"));
    EXPECT_EQ(registry.SubKeyNames(L"SYSTEM\\CurrentControlSet\\Services"), Calls{L"Neighbour"});
}

TEST_F(FilterPurgeTest, AKeyThatCannotBeDeletedIsLeftEmpty) {
    Seed();
    registry.FindKey(kKey)->refuseDelete = true;
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
    EXPECT_TRUE(registry.KeyExists(kKey));
    EXPECT_TRUE(registry.SubKeyNames(kKey).empty());
    EXPECT_TRUE(registry.ValueNames(kKey).empty()) << "the default value goes too";
    EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(FilterPurgeTest, EachFailureIsPassedOverAndTheRestStillGoes) {
    Seed();
    FakeRegistry::Key& key = *registry.FindKey(kKey);
    registry.FindKey(kKey + L"\\Instances\\Second\\Deep")->refuseDelete = true;
    key.refuseValueDelete.push_back(L"start");
    key.failEnumValueAt[0] = reg::kErrorAccessDenied;  // ImagePath is never listed
    // One subkey and one value throw while being deleted (the first time they are reached).
    bool subkeyThrew = false;
    bool valueThrew = false;
    registry.before = [&](std::wstring_view function, std::wstring_view path) {
        if (function == L"RegOpenKeyExW" && path.ends_with(L"hfFilter\\Enum") && !subkeyThrew) {
            subkeyThrew = true;
            throw ERegistryException(L"injected");
        }
        if (function == L"RegDeleteValueW" && path.ends_with(L"hfFilter, ") && !valueThrew) {
            valueThrew = true;
            throw ERegistryException(L"injected");
        }
    };
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
    EXPECT_TRUE(subkeyThrew && valueThrew);
    // The final tree deletion took Enum after all; Instances keeps the refusing Deep.
    EXPECT_TRUE(registry.KeyExists(kKey)) << "it still has a subkey";
    EXPECT_EQ(registry.SubKeyNames(kKey), (Calls{L"Instances"}));
    EXPECT_EQ(registry.SubKeyNames(kKey + L"\\Instances"), (Calls{L"Second"}));
    EXPECT_EQ(registry.SubKeyNames(kKey + L"\\Instances\\Second"), (Calls{L"Deep"}));
    EXPECT_EQ(registry.ValueNames(kKey + L"\\Instances\\Second"), (Calls{L"Altitude"}));
    EXPECT_EQ(registry.ValueNames(kKey), (Calls{L"ImagePath", L"Start", L""}));
    EXPECT_EQ(Deletions(registry).back(), L"NtDeleteKey(" + kLogged + L"hfFilter) = 5");
    EXPECT_EQ(registry.OpenHandles(), 0);
}

// A key tree that cannot be listed part-way stays, silently; what could be listed goes. The
// values come from the same count query as the subkeys: when the key's own counts cannot be
// read, nothing is deleted at all.
TEST_F(FilterPurgeTest, AListingThatFailsPartWayLeavesThatTreeAndNothingElse) {
    struct Case {
        const char* what;
        std::wstring failingKey;  // below hfFilter
        bool queryInfo;           // RegQueryInfoKeyW fails; otherwise RegEnumKeyExW at index 0
        Calls subKeys;            // of hfFilter afterwards
        Calls instances;          // of hfFilter\Instances afterwards
        Calls values;             // of hfFilter afterwards
    };
    const Case cases[] = {
        {"the counts of Instances cannot be read",
         L"\\Instances",
         true,
         {L"Instances"},
         {L"Default", L"Second"},
         {}},
        {"hfFilter's first subkey cannot be listed", L"", false, {L"Enum"}, {}, {}},
        {"hfFilter's own counts cannot be read",
         L"",
         true,
         {L"Enum", L"Instances"},
         {L"Default", L"Second"},
         {L"ImagePath", L"Start", L""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry local;
        platform.registry = &local;
        Seed(local);
        FakeRegistry::Key& failing = *local.FindKey(kKey + c.failingKey);
        if (c.queryInfo) {
            failing.failQueryInfo = reg::kErrorAccessDenied;
        } else {
            failing.failEnumKeyAt[0] = reg::kErrorAccessDenied;
        }

        EXPECT_NO_THROW(PurgeFilterServiceKey(platform));

        EXPECT_TRUE(local.KeyExists(kKey));
        EXPECT_EQ(local.SubKeyNames(kKey), c.subKeys);
        EXPECT_EQ(local.SubKeyNames(kKey + L"\\Instances"), c.instances);
        EXPECT_EQ(local.ValueNames(kKey), c.values);
        EXPECT_EQ(Deletions(local).back(), L"NtDeleteKey(" + kLogged + L"hfFilter) = 5");
        EXPECT_EQ(local.OpenHandles(), 0);
    }
}

TEST_F(FilterPurgeTest, AThrowOnTheFinalDeletionDoesNotLeaveTheStage) {
    Seed();
    registry.before = [](std::wstring_view function, std::wstring_view path) {
        // Only the last step deletes a key by the path ending in "Services\hfFilter".
        if (function == L"NtDeleteKey" && path.ends_with(L"Services\\hfFilter")) {
            throw std::runtime_error("injected");
        }
    };
    EXPECT_NO_THROW(PurgeFilterServiceKey(platform));
    EXPECT_TRUE(registry.KeyExists(kKey));
    EXPECT_TRUE(registry.SubKeyNames(kKey).empty());
    EXPECT_EQ(registry.OpenHandles(), 0);
}

// A link key in hfFilter's place or below it is deleted itself: what it leads to (a victim key,
// every service, hfFilter again) stays whole, and a loop ends.
TEST_F(FilterPurgeTest, LinksAreDeletedThemselvesAndNeverFollowed) {
    const std::wstring services = L"SYSTEM\\CurrentControlSet\\Services";
    const struct {
        const char* what;
        std::wstring link;    // below Services
        std::wstring target;  // from HKLM
        bool seed;            // the real hfFilter tree is there (and goes)
    } cases[] = {
        {"hfFilter is a link to a victim", L"hfFilter", L"SOFTWARE\\Victim", false},
        {"hfFilter is a link to every service", L"hfFilter", services, false},
        {"a link to a victim below hfFilter", L"hfFilter\\Instances\\ToVictim", L"SOFTWARE\\Victim",
         true},
        {"a link to every service below hfFilter", L"hfFilter\\Enum\\All", services, true},
        {"a loop below hfFilter", L"hfFilter\\Instances\\Second\\Loop", kKey, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry local;
        platform.registry = &local;
        if (c.seed) {
            Seed(local);
        }
        local.AddKey(services + L"\\Neighbour\\Enum");
        local.AddKey(L"SOFTWARE\\Victim\\Child");
        local.SetString(L"SOFTWARE\\Victim", L"v", L"1");
        local.AddLink(services + L"\\" + c.link, c.target);

        EXPECT_NO_THROW(PurgeFilterServiceKey(platform));

        const Calls deletions = local.CallsTo(L"NtDeleteKey");
        EXPECT_EQ(1, std::count(deletions.begin(), deletions.end(),
                                L"NtDeleteKey(" + kLogged + c.link + L") = 0"));
        EXPECT_EQ(local.SubKeyNames(services), Calls{L"Neighbour"}) << "hfFilter is gone";
        EXPECT_TRUE(local.KeyExists(services + L"\\Neighbour\\Enum"));
        EXPECT_TRUE(local.KeyExists(L"SOFTWARE\\Victim\\Child"));
        EXPECT_EQ(local.ValueNames(L"SOFTWARE\\Victim"), Calls{L"v"});
        EXPECT_EQ(local.OpenHandles(), 0);
    }
}

}  // namespace
}  // namespace hf
