#pragma once
// Who may change a folder on the way to a file recorded for deletion at the restart. The system
// carries the deletion out at boot by the recorded path, as itself and following links: the path
// must still name the file then. A folder that no other account can replace or turn into a link
// keeps it so.

#include "platform/Files.h"

namespace hf {

// SYSTEM, Administrators and TrustedInstaller.
bool IsTrustedAccount(std::wstring_view sid);

// Whether only trusted accounts may replace `folder` or turn it into a link: its owner is trusted
// (an owner may always rewrite the list) and it has a list in which no entry that applies to the
// folder itself (inherit-only entries do not) lets another account delete it or its children,
// add files or subfolders, write its attributes, its list or its owner (generic write and all
// included). Denying entries are not counted: they can only take rights away. A drive's root
// cannot be replaced or become a link, so adding files and subfolders there (which every
// authenticated user may on a standard Windows) does not count for it.
bool OnlyTrustedMayChange(const ObjectSecurity& folder, bool driveRoot);

}  // namespace hf
