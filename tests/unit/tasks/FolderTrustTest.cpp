#include "tasks/FolderTrust.h"

#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

const std::wstring kSystem = L"S-1-5-18";
const std::wstring kAdministrators = L"S-1-5-32-544";
const std::wstring kTrustedInstaller =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const std::wstring kUsers = L"S-1-5-32-545";
const std::wstring kAuthenticatedUsers = L"S-1-5-11";
const std::wstring kUser = L"S-1-5-21-3623811015-3361044348-30300820-1013";
const std::wstring kCreatorOwner = L"S-1-3-0";
constexpr std::uint32_t kFull = 0x001F01FF;
constexpr std::uint32_t kReadExecute = 0x001200A9;
constexpr std::uint32_t kModify = 0x001301BF;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint8_t kObjectInheritContainerInherit = 0x03;
constexpr std::uint8_t kAllowedCallback = 9;

TEST(FolderTrust, OnlySystemAdministratorsAndTrustedInstallerMayChangeAFolder) {
    const struct {
        const char* what;
        std::wstring owner;
        std::vector<AccessEntry> entries;  // after full control for the three trusted accounts
        bool root;
        bool trusted;
        bool hasDacl = true;
    } cases[] = {
        {"System32: the trusted three, Users may read",
         kTrustedInstaller,
         {{kAccessAllowedAceType, 0, kReadExecute, kUsers}},
         false,
         true},
        {"owned by SYSTEM", kSystem, {}, false, true},
        {"owned by Administrators", kAdministrators, {}, false, true},
        {"owned by a user, who may rewrite the list", kUser, {}, false, false},
        {"no owner given", L"", {}, false, false},
        {"no list at all grants everyone everything", kSystem, {}, false, false, false},
        {"a user with full control",
         kSystem,
         {{kAccessAllowedAceType, 0, kFull, kUser}},
         false,
         false},
        {"a user may modify", kSystem, {{kAccessAllowedAceType, 0, kModify, kUser}}, false, false},
        {"delete", kSystem, {{kAccessAllowedAceType, 0, kDelete, kUsers}}, false, false},
        {"delete children",
         kSystem,
         {{kAccessAllowedAceType, 0, kFileDeleteChild, kUsers}},
         false,
         false},
        {"add files", kSystem, {{kAccessAllowedAceType, 0, kFileAddFile, kUsers}}, false, false},
        {"add subfolders",
         kSystem,
         {{kAccessAllowedAceType, 0, kFileAddSubdirectory, kAuthenticatedUsers}},
         false,
         false},
        {"write attributes",
         kSystem,
         {{kAccessAllowedAceType, 0, kFileWriteAttributes, kUsers}},
         false,
         false},
        {"write the list", kSystem, {{kAccessAllowedAceType, 0, kWriteDac, kUsers}}, false, false},
        {"write the owner",
         kSystem,
         {{kAccessAllowedAceType, 0, kWriteOwner, kUsers}},
         false,
         false},
        {"generic write",
         kSystem,
         {{kAccessAllowedAceType, 0, kGenericWrite, kUsers}},
         false,
         false},
        {"generic all", kSystem, {{kAccessAllowedAceType, 0, kGenericAll, kUsers}}, false, false},
        {"a callback entry allows as well",
         kSystem,
         {{kAllowedCallback, 0, kDelete, kUsers}},
         false,
         false},
        {"an entry without a readable SID",
         kSystem,
         {{kAccessAllowedAceType, 0, kDelete, L""}},
         false,
         false},
        {"inherit-only: for what is below, not the folder",
         kSystem,
         {{kAccessAllowedAceType, kInheritOnlyAce | kObjectInheritContainerInherit, kFull,
           kCreatorOwner}},
         false,
         true},
        {"inherited and applying to the folder too",
         kSystem,
         {{kAccessAllowedAceType, kObjectInheritContainerInherit, kModify, kUsers}},
         false,
         false},
        {"a denying entry takes rights away only",
         kSystem,
         {{kAccessDeniedAceType, 0, kFull, kUsers}},
         false,
         true},
        {"a denying object entry",
         kSystem,
         {{kAccessDeniedObjectAceType, 0, kFull, kUsers}},
         false,
         true},
        {"the root: every user may add subfolders (Windows' own list)",
         kSystem,
         {{kAccessAllowedAceType, 0, kFileAddSubdirectory, kAuthenticatedUsers},
          {kAccessAllowedAceType, kInheritOnlyAce | kObjectInheritContainerInherit, kModify,
           kAuthenticatedUsers}},
         true,
         true},
        {"the root: adding files",
         kSystem,
         {{kAccessAllowedAceType, 0, kFileAddFile, kAuthenticatedUsers}},
         true,
         true},
        {"the root: deleting children",
         kSystem,
         {{kAccessAllowedAceType, 0, kFileDeleteChild, kAuthenticatedUsers}},
         true,
         false},
        {"the root: writing its list",
         kSystem,
         {{kAccessAllowedAceType, 0, kWriteDac, kAuthenticatedUsers}},
         true,
         false},
        {"the root: generic write",
         kSystem,
         {{kAccessAllowedAceType, 0, kGenericWrite, kAuthenticatedUsers}},
         true,
         false},
    };
    for (const auto& c : cases) {
        ObjectSecurity security;
        security.owner = c.owner;
        security.hasDacl = c.hasDacl;
        if (c.hasDacl) {
            for (const std::wstring& sid : {kSystem, kAdministrators, kTrustedInstaller}) {
                security.dacl.push_back({kAccessAllowedAceType, 0, kFull, sid});
            }
            security.dacl.insert(security.dacl.end(), c.entries.begin(), c.entries.end());
        }
        EXPECT_EQ(c.trusted, OnlyTrustedMayChange(security, c.root)) << c.what;
    }
    EXPECT_TRUE(OnlyTrustedMayChange(fake::FakeFileSystem::TrustedSecurity(), false));
}

}  // namespace
}  // namespace hf
