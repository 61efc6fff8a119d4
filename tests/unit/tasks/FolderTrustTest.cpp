#include "tasks/FolderTrust.h"

#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

const std::wstring kUsers = L"S-1-5-32-545";
const std::wstring kAuthenticated = L"S-1-5-11";
const std::wstring kUser = L"S-1-5-21-3623811015-3361044348-30300820-1013";
constexpr std::uint32_t kFull = 0x001F01FF, kReadExecute = 0x001200A9, kModify = 0x001301BF;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint8_t kInheritable = 0x03, kInheritOnly = kInheritOnlyAce | kInheritable;
constexpr std::uint8_t kAllow = kAccessAllowedAceType, kAllowCallback = 9;

// The fake's trusted folder (owned by SYSTEM; SYSTEM, Administrators and TrustedInstaller with
// full control, Users reading) with one entry more.
TEST(FolderTrust, OnlySystemAdministratorsAndTrustedInstallerMayChangeAFolder) {
    const struct {
        const char* what;
        std::uint32_t mask;
        std::wstring sid;
        bool trusted;
        bool root = false;
        std::uint8_t flags = 0;
        std::uint8_t type = kAllow;
    } cases[] = {
        {"Users may read", kReadExecute, kUsers, true},
        {"a user with full control", kFull, kUser, false},
        {"a user may modify", kModify, kUser, false},
        {"delete", kDelete, kUsers, false},
        {"delete children", kFileDeleteChild, kUsers, false},
        {"add files", kFileAddFile, kUsers, false},
        {"add subfolders", kFileAddSubdirectory, kAuthenticated, false},
        {"write attributes", kFileWriteAttributes, kUsers, false},
        {"write the list", kWriteDac, kUsers, false},
        {"write the owner", kWriteOwner, kUsers, false},
        {"generic write", kGenericWrite, kUsers, false},
        {"generic all", kGenericAll, kUsers, false},
        {"an entry without a readable SID", kDelete, L"", false},
        {"a callback entry allows too", kDelete, kUsers, false, false, 0, kAllowCallback},
        {"inherit-only: for what is below", kFull, L"S-1-3-0", true, false, kInheritOnly},
        {"inherited and for the folder too", kModify, kUsers, false, false, kInheritable},
        {"denying takes rights away only", kFull, kUsers, true, false, 0, kAccessDeniedAceType},
        {"a denying object entry", kFull, kUsers, true, false, 0, kAccessDeniedObjectAceType},
        {"the root: anyone may add folders", kFileAddSubdirectory, kAuthenticated, true, true},
        {"the root: anyone may add files", kFileAddFile, kAuthenticated, true, true},
        {"the root: deleting children", kFileDeleteChild, kAuthenticated, false, true},
        {"the root: writing its list", kWriteDac, kAuthenticated, false, true},
        {"the root: generic write", kGenericWrite, kAuthenticated, false, true},
    };
    for (const auto& c : cases) {
        ObjectSecurity security = fake::FakeFileSystem::TrustedSecurity();
        security.dacl.push_back({c.type, c.flags, c.mask, c.sid});
        EXPECT_EQ(c.trusted, OnlyTrustedMayChange(security, c.root)) << c.what;
    }
    // The owner may always rewrite the list, so it must be SYSTEM, Administrators or
    // TrustedInstaller, by the SIDs Windows gives them; no list at all grants everyone everything.
    for (const wchar_t* owner :
         {L"S-1-5-18", L"S-1-5-32-544",
          L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", kUser.c_str(), L""}) {
        ObjectSecurity security = fake::FakeFileSystem::TrustedSecurity();
        security.owner = owner;
        EXPECT_EQ(owner != kUser && *owner != L'\0', OnlyTrustedMayChange(security, false))
            << owner;
        security.hasDacl = false;
        EXPECT_FALSE(OnlyTrustedMayChange(security, false));
    }
}

}  // namespace
}  // namespace hf
