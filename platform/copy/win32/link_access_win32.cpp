// Judges a link owner's read access to its target: owner SIDs and the Authz access check.
#include <windows.h>

#include <aclapi.h>
#include <authz.h>

#include <memory>
#include <vector>

#include "link_access.h"

namespace qm::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Frees what the security functions allocate with LocalAlloc.
struct LocalFreer {
  void operator()(void* p) const { LocalFree(p); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreer>;

// The user SID of the account running the copy, read once.
const std::vector<unsigned char>& selfSid() {
  static const std::vector<unsigned char> sid = [] {
    std::vector<unsigned char> out;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return out;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size && GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
      const PSID found = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
      const auto* bytes = static_cast<const unsigned char*>(found);
      out.assign(bytes, bytes + GetLengthSid(found));
    }
    CloseHandle(token);
    return out;
  }();
  return sid;
}

bool isSelf(PSID sid) {
  const std::vector<unsigned char>& self = selfSid();
  return !self.empty() && EqualSid(sid, const_cast<unsigned char*>(self.data()));
}

// TrustedInstaller, the service account that owns the system's own files.
bool isTrustedInstaller(PSID sid) {
  static const DWORD kSub[] = {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464};
  constexpr BYTE kCount = sizeof kSub / sizeof kSub[0];
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  if (*GetSidSubAuthorityCount(sid) != kCount) return false;
  const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
  for (int i = 0; i < 6; ++i)
    if (authority->Value[i] != nt.Value[i]) return false;
  for (BYTE i = 0; i < kCount; ++i)
    if (*GetSidSubAuthority(sid, i) != kSub[i]) return false;
  return true;
}

// The owner of the reparse point `link` itself, in `owner` (pointing into `holder`).
bool ownerOf(const std::wstring& link, PSID& owner, SecurityDescriptor& holder) {
  HANDLE h = CreateFileW(link.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD code = GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                     nullptr, nullptr, &sd);
  CloseHandle(h);
  holder.reset(sd);
  return code == ERROR_SUCCESS && owner != nullptr && IsValidSid(owner);
}

// A function of authz.dll, looked up at run time.
template <typename F>
F authzFunction(HMODULE dll, const char* name) {
  // Through the generic function type, which the compiler lets stand for any other.
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

// The Authz functions and one resource manager for the whole run. authz.dll is loaded
// from the system folder when first needed, not imported: the programs import only the
// core system DLLs, and a copy whose links are all its own account's never loads it.
class Authz {
 public:
  Authz() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    dll_ = LoadLibraryW((std::wstring(folder, length) + L"\\authz.dll").c_str());
    if (!dll_) return;
    init_ = authzFunction<decltype(&AuthzInitializeResourceManager)>(
        dll_, "AuthzInitializeResourceManager");
    freeManager_ =
        authzFunction<decltype(&AuthzFreeResourceManager)>(dll_, "AuthzFreeResourceManager");
    context_ = authzFunction<decltype(&AuthzInitializeContextFromSid)>(
        dll_, "AuthzInitializeContextFromSid");
    freeContext_ = authzFunction<decltype(&AuthzFreeContext)>(dll_, "AuthzFreeContext");
    check_ = authzFunction<decltype(&AuthzAccessCheck)>(dll_, "AuthzAccessCheck");
    if (!init_ || !freeManager_ || !context_ || !freeContext_ || !check_) return;
    if (!init_(AUTHZ_RM_FLAG_NO_AUDIT, nullptr, nullptr, nullptr, nullptr, &manager_))
      manager_ = nullptr;
  }
  ~Authz() {
    if (manager_) freeManager_(manager_);
  }
  Authz(const Authz&) = delete;
  Authz& operator=(const Authz&) = delete;

  // Whether `user` (with the groups the system gives it) is granted `access` by `sd`.
  OwnerRead check(PSID user, PSECURITY_DESCRIPTOR sd, ACCESS_MASK access) const {
    if (!manager_) return OwnerRead::Unknown;
    AUTHZ_CLIENT_CONTEXT_HANDLE client = nullptr;
    if (!context_(0, user, manager_, nullptr, LUID{}, nullptr, &client) || !client)
      return OwnerRead::Unknown;
    AUTHZ_ACCESS_REQUEST request{};
    request.DesiredAccess = access;
    ACCESS_MASK granted = 0;
    // Preset to a value the check never gives, so a reply left unfilled counts as none.
    DWORD error = ERROR_INVALID_FUNCTION;
    AUTHZ_ACCESS_REPLY reply{};
    reply.ResultListLength = 1;
    reply.GrantedAccessMask = &granted;
    reply.Error = &error;
    const BOOL ok = check_(0, client, &request, nullptr, sd, nullptr, 0, &reply, nullptr);
    freeContext_(client);
    if (!ok) return OwnerRead::Unknown;
    if (error == ERROR_SUCCESS && (granted & access) == access) return OwnerRead::Granted;
    return error == ERROR_ACCESS_DENIED ? OwnerRead::Denied : OwnerRead::Unknown;
  }

 private:
  HMODULE dll_ = nullptr;
  decltype(&AuthzInitializeResourceManager) init_ = nullptr;
  decltype(&AuthzFreeResourceManager) freeManager_ = nullptr;
  decltype(&AuthzInitializeContextFromSid) context_ = nullptr;
  decltype(&AuthzFreeContext) freeContext_ = nullptr;
  decltype(&AuthzAccessCheck) check_ = nullptr;
  AUTHZ_RESOURCE_MANAGER_HANDLE manager_ = nullptr;
};

// Whether `owner` may read (a folder: list) what `target` has open. The target is opened
// again, as the same file, for the right to read its security descriptor.
OwnerRead ownerMayRead(PSID owner, HANDLE target, bool folder) {
  static const Authz authz;
  HANDLE again = ReOpenFile(target, READ_CONTROL, kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
  if (again == INVALID_HANDLE_VALUE) return OwnerRead::Unknown;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD code = GetSecurityInfo(
      again, SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
      nullptr, nullptr, nullptr, &sd);
  CloseHandle(again);
  const SecurityDescriptor holder(sd);
  if (code != ERROR_SUCCESS || !sd) return OwnerRead::Unknown;
  return authz.check(owner, sd, folder ? FILE_LIST_DIRECTORY : FILE_READ_DATA);
}

}  // namespace

bool isOwnedLink(DWORD reparseTag) {
  return reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT;
}

bool followsLink(bool ownerIsSelf, bool ownerIsSystem, OwnerRead answer) {
  return ownerIsSelf || ownerIsSystem || answer == OwnerRead::Granted;
}

// The system's own principals are trusted as the copy's account is: no account without
// administrator rights can make an object owned by them (setting an owner other than
// oneself needs the restore privilege), and each of them can read any file anyway (by
// the backup privilege, or by taking ownership), so their links publish nothing that was
// kept from whoever made them. Links an elevated administrator makes are owned by
// Administrators, so the check is spared for those too.
bool isSystemPrincipal(PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || isTrustedInstaller(sid);
}

bool ownedBySelf(const std::wstring& link) {
  PSID owner = nullptr;
  SecurityDescriptor holder;
  return ownerOf(link, owner, holder) && isSelf(owner);
}

bool linkOwnerMayRead(const std::wstring& link, HANDLE target, bool folder) {
  PSID owner = nullptr;
  SecurityDescriptor holder;
  // An owner that cannot be read is someone else's, whose access cannot be judged.
  if (!ownerOf(link, owner, holder)) return followsLink(false, false, OwnerRead::Unknown);
  const bool self = isSelf(owner), system = !self && isSystemPrincipal(owner);
  // The copy's own links and the system's are followed without asking Authz.
  if (self || system) return followsLink(self, system, OwnerRead::Unknown);
  return followsLink(false, false, ownerMayRead(owner, target, folder));
}

}  // namespace qm::win32
