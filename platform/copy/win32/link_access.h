// Whether a link's owner could read what the link leads to, as Windows would judge it.
#pragma once

#include <windows.h>

#include <string>

namespace qm::win32 {

// What the system's access check said of the owner reading a link's target: it may, it may
// not, or the check could not be made (the Authz library is missing or refused to answer).
enum class OwnerRead { Granted, Denied, Unknown };

// Whether the reparse point with the tag `reparseTag` is a link the copy follows on its
// owner's word: a symbolic link or a junction. Other reparse points (compressed files,
// placeholders of cloud files, deduplicated data) hold their own data and are no links.
bool isOwnedLink(DWORD reparseTag);

// Whether the copy follows a link whose owner is the copy's own account (`ownerIsSelf`), one
// of the system's principals (`ownerIsSystem`), or someone else that the access check
// (`answer`) let read the target. Where the check cannot be made, the link is left out.
bool followsLink(bool ownerIsSelf, bool ownerIsSystem, OwnerRead answer);

// Whether `sid` is LocalSystem, BUILTIN\Administrators or TrustedInstaller.
bool isSystemPrincipal(PSID sid);

// Whether the reparse point `link` itself (not what it leads to) is owned by the account
// that runs the copy; false where its owner cannot be read.
bool ownedBySelf(const std::wstring& link);

// Whether the copy may follow the link `link` to `target` (open with any access; a folder
// when `folder`): its owner is the copy's own account or a system principal, or that owner
// may read the target (list it, for a folder). A copy run with more rights than the link's
// owner so never publishes what that owner could not read. The target is the one `target`
// has open, so a link changed meanwhile is not judged by another file.
bool linkOwnerMayRead(const std::wstring& link, HANDLE target, bool folder);

}  // namespace qm::win32
