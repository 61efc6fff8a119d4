#include "tasks/FolderTrust.h"

#include <array>

namespace hf {

namespace {

constexpr std::array<std::wstring_view, 3> kTrusted = {
    L"S-1-5-18",                                                        // SYSTEM
    L"S-1-5-32-544",                                                    // Administrators
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

constexpr std::uint32_t kChangeRights = kDeleteAccess | kFileDeleteChild | kFileAddFile |
                                        kFileAddSubdirectory | kFileWriteAttributes | kWriteDac |
                                        kWriteOwner | kGenericAll | kGenericWrite;

bool Denies(std::uint8_t type) {
    return type == kAccessDeniedAceType || type == kAccessDeniedObjectAceType ||
           type == kAccessDeniedCallbackAceType || type == kAccessDeniedCallbackObjectAceType;
}

}  // namespace

bool IsTrustedAccount(std::wstring_view sid) {
    for (std::wstring_view trusted : kTrusted) {
        if (sid == trusted) {
            return true;
        }
    }
    return false;
}

bool OnlyTrustedMayChange(const ObjectSecurity& folder, bool driveRoot) {
    if (!IsTrustedAccount(folder.owner) || !folder.hasDacl) {
        return false;
    }
    const std::uint32_t rights =
        driveRoot ? kChangeRights & ~(kFileAddFile | kFileAddSubdirectory) : kChangeRights;
    for (const AccessEntry& entry : folder.dacl) {
        if ((entry.flags & kInheritOnlyAce) != 0 || Denies(entry.type)) {
            continue;
        }
        if ((entry.mask & rights) != 0 && !IsTrustedAccount(entry.sid)) {
            return false;
        }
    }
    return true;
}

}  // namespace hf
