// Judges a link owner's read access to its target: mode bits, groups and POSIX ACLs.
#include "link_access.h"

#include <grp.h>
#include <pwd.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qm::posix {

namespace {

// The ACL tags and the layout of "system.posix_acl_access": a version, then entries.
constexpr std::uint16_t kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04, kGroup = 0x08,
                        kMask = 0x10, kOther = 0x20;
constexpr std::uint32_t kAclVersion = 2;
struct AclEntry {
  std::uint16_t tag;
  std::uint16_t perm;
  std::uint32_t id;
};

// The groups of the user `uid`: the primary one and the others it is a member of.
std::vector<gid_t> groupsOf(uid_t uid) {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) return {};
  }
  groups.resize(static_cast<std::size_t>(count));
  return groups;
}

std::vector<AclEntry> accessAcl(const std::string& path) {
  const ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0);
  if (size < 4) return {};
  std::vector<unsigned char> raw(static_cast<std::size_t>(size));
  if (::getxattr(path.c_str(), "system.posix_acl_access", raw.data(), raw.size()) != size)
    return {};
  std::uint32_t version = 0;
  std::memcpy(&version, raw.data(), 4);
  if (version != kAclVersion) return {};
  std::vector<AclEntry> entries((raw.size() - 4) / sizeof(AclEntry));
  std::memcpy(entries.data(), raw.data() + 4, entries.size() * sizeof(AclEntry));
  return entries;
}

// The permission bits (read 4, write 2, search 1) the user `uid` has on `target`.
unsigned permissionsOf(uid_t uid, const struct stat& target, const std::string& path) {
  const std::vector<gid_t> groups = groupsOf(uid);
  const auto member = [&](gid_t gid) {
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
  };
  const std::vector<AclEntry> acl = accessAcl(path);
  if (acl.empty()) {
    if (uid == target.st_uid) return (target.st_mode >> 6) & 7;
    if (member(target.st_gid)) return (target.st_mode >> 3) & 7;
    return target.st_mode & 7;
  }
  unsigned mask = 7, other = 0, groupBits = 0;
  bool inGroup = false;
  for (const AclEntry& e : acl) {
    if (e.tag == kMask) mask = e.perm;
    if (e.tag == kOther) other = e.perm;
  }
  for (const AclEntry& e : acl) {
    if (e.tag == kUserObj && uid == target.st_uid) return e.perm;
    if (e.tag == kUser && e.id == uid) return e.perm & mask;
    if ((e.tag == kGroupObj && member(target.st_gid)) || (e.tag == kGroup && member(e.id))) {
      inGroup = true;
      groupBits |= e.perm & mask;
    }
  }
  return inGroup ? groupBits : other;
}

}  // namespace

bool linkOwnerMayRead(const struct stat& link, const struct stat& target,
                      const std::string& targetPath) {
  if (link.st_uid == 0 || link.st_uid == ::geteuid()) return true;
  const unsigned needed = S_ISDIR(target.st_mode) ? 5 : 4;
  return (permissionsOf(link.st_uid, target, targetPath) & needed) == needed;
}

}  // namespace qm::posix
