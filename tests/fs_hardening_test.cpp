// Folder copies given hostile or odd input: privileges, ACLs, paths that lead back, deep
// trees, leftovers of killed runs, files edited by hand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ui/filesystem.h"
#include "copy/progress.h"
#include "errors.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"
#include "os/posix/unique_fd.h"

namespace qm::posix {
namespace {

using copy::Problem;
using testing::attribute;
using testing::numberInChild;
using testing::readFile;
using testing::snapshot;
using testing::statOf;
using testing::TempDir;
using testing::writeFile;

constexpr uid_t kOwner = 1234;
constexpr uid_t kOtherUser = 4321;
constexpr uid_t kNobody = 65534;

#define REQUIRE_ROOT() \
  if (::geteuid() != 0) GTEST_SKIP() << "needs root (to own files as other users)"

int copyNumber(const std::string& source, const std::string& destination) {
  try {
    copy::copyFolderOrThrow(source, destination, testing::testOptions());
  } catch (const RuntimeError& e) {
    return e.number;
  }
  return 0;
}

TEST(Privileges, SetIdBitsStayOnlyWithTheSourcesOwner) {
  // Regression: a user's set-user-ID program, copied by root or another user, kept the bit
  // under its new owner.
  REQUIRE_ROOT();
  TempDir tmp;
  ::chmod(tmp.path().c_str(), 0755);
  ::mkdir((tmp / "src").c_str(), 0755);
  for (const auto& [name, mode] : {std::pair{"src/suid", 04755}, std::pair{"src/sgid", 02755}}) {
    writeFile(tmp / name, "#!/bin/sh\n");
    ASSERT_EQ(::chown((tmp / name).c_str(), kOwner, kOwner), 0);
    ::chmod((tmp / name).c_str(), static_cast<mode_t>(mode));  // after chown, which drops them
  }
  // Root keeps the owner, so the bits stay with it.
  ASSERT_EQ(copyNumber(tmp / "src", tmp / "byroot"), 0);
  EXPECT_EQ(statOf(tmp / "byroot/suid").st_uid, kOwner);
  EXPECT_EQ(statOf(tmp / "byroot/suid").st_mode & 07777, 04755u);
  EXPECT_EQ(statOf(tmp / "byroot/sgid").st_gid, kOwner);
  EXPECT_EQ(statOf(tmp / "byroot/sgid").st_mode & 07777, 02755u);
  // Another user owns the copy, without the bits.
  ::mkdir((tmp / "user").c_str(), 0755);
  ::chown((tmp / "user").c_str(), kOtherUser, kOtherUser);
  const auto copy = [&] {
    copy::copyFolderOrThrow(tmp / "src", tmp / "user/copy", testing::testOptions());
  };
  ASSERT_EQ(numberInChild(copy, kOtherUser, kOtherUser), 0);
  for (const char* name : {"user/copy/suid", "user/copy/sgid"}) {
    EXPECT_EQ(statOf(tmp / name).st_uid, kOtherUser) << name;
    EXPECT_EQ(statOf(tmp / name).st_mode & 07777, 0755u) << name;
  }
}

// Sets an access ACL on `path` that grants `user` the bits `perm`, and nothing to others.
void grantByAcl(const std::string& path, uid_t user, std::uint16_t perm) {
  struct Entry {
    std::uint16_t tag, perm;
    std::uint32_t id;
  };
  const Entry entries[] = {
      {0x01, 6, ~0u}, {0x02, perm, user}, {0x04, 0, ~0u}, {0x10, perm, ~0u}, {0x20, 0, ~0u}};
  std::string raw(4 + sizeof entries, '\0');
  const std::uint32_t version = 2;
  std::memcpy(raw.data(), &version, 4);
  std::memcpy(raw.data() + 4, entries, sizeof entries);
  ASSERT_EQ(::setxattr(path.c_str(), "system.posix_acl_access", raw.data(), raw.size(), 0), 0);
}

TEST(Privileges, ALinkIsFollowedOnlyWhereItsOwnerCouldReadWhatItLeadsTo) {
  // Regression: root copied a tree of nobody's whose link led to a file only root could
  // read, and the file landed on the stick, readable by anyone.
  REQUIRE_ROOT();
  const struct {
    const char* name;
    uid_t owner;
    mode_t mode;
    bool folder;
    bool acl;       // an access ACL grants nobody read (and search)
    bool followed;  // else left out and listed
  } cases[] = {
      {"root-only file", 0, 0600, false, false, false},
      {"root-only folder", 0, 0700, true, false, false},
      {"readable by others", 0, 0644, false, false, true},
      {"nobody's own", kNobody, 0600, false, false, true},
      {"granted to nobody by an ACL", 0, 0600, false, true, true},
      {"a folder others may read but not search", 0, 0744, true, false, false},
  };
  TempDir tmp;
  ::chmod(tmp.path().c_str(), 0755);
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "secret").c_str(), 0755);
  ASSERT_EQ(::chown((tmp / "src").c_str(), kNobody, kNobody), 0);
  for (const auto& c : cases) {
    const std::string target = tmp / "secret" + "/" + c.name;
    if (c.folder) {
      ::mkdir(target.c_str(), 0700);
      writeFile(target + "/inside", "hidden");
    } else {
      writeFile(target, "hidden");
    }
    ASSERT_EQ(::chown(target.c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);
    if (c.acl) grantByAcl(target, kNobody, c.folder ? 5 : 4);
    const std::string link = tmp / "src" + "/" + c.name;
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(::lchown(link.c_str(), kNobody, kNobody), 0);
  }
  CopyProgress progress;
  CopyOptions options = testing::testOptions();
  options.links = Links::Follow;
  options.progress = &progress;
  ASSERT_EQ(testing::copyNumber(tmp / "src", tmp / "dst", options), 0);
  const std::vector<Problem> leftOut = progress.report.leftOut();
  for (const auto& c : cases) {
    const bool there = std::filesystem::exists(tmp / "dst" + "/" + c.name);
    EXPECT_EQ(there, c.followed) << c.name;
    const bool listed = std::any_of(leftOut.begin(), leftOut.end(), [&](const Problem& p) {
      return p.file == c.name && p.cause == copy::leftOutCause(copy::LeftOut::Unreadable);
    });
    EXPECT_EQ(listed, !c.followed) << c.name;
  }
}

TEST(Attributes, AclsAndUserAttributesAreCopied) {
  // Regression: ACLs and extended attributes were dropped, so a file an ACL closed to a user
  // was copied readable to everyone.
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/shared").c_str(), 0755);
  writeFile(tmp / "src/closed.txt", "secret", 0644);
  writeFile(tmp / "src/shared/inside.txt", "x", 0644);
  const std::string closed = testing::aclValue(6, 4, 4, {{kNobody, 0}});
  const std::string open = testing::aclValue(7, 5, 5, {{kNobody, 7}});
  ASSERT_EQ(::setxattr((tmp / "src/closed.txt").c_str(), "system.posix_acl_access", closed.data(),
                       closed.size(), 0),
            0);
  ASSERT_EQ(::setxattr((tmp / "src/closed.txt").c_str(), "user.note", "kept", 4, 0), 0);
  ASSERT_EQ(::setxattr((tmp / "src/shared").c_str(), "system.posix_acl_default", open.data(),
                       open.size(), 0),
            0);
  ASSERT_EQ(copyNumber(tmp / "src", tmp / "dst"), 0);
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"closed.txt", "system.posix_acl_access"},        {"closed.txt", "user.note"},
      {"shared", "system.posix_acl_default"},           {"shared", "system.posix_acl_access"},
      {"shared/inside.txt", "system.posix_acl_access"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(attribute(tmp / "dst/" + c.path, c.name), attribute(tmp / "src/" + c.path, c.name))
        << c.path << " " << c.name;
  }
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
  if (::geteuid() != 0) return;
  ::chmod(tmp.path().c_str(), 0755);
  const auto read = [&] {
    if (::open((tmp / "dst/closed.txt").c_str(), O_RDONLY) < 0) throw RuntimeError(70);
  };
  EXPECT_EQ(numberInChild(read, kNobody, kNobody), 70) << "the copy let the closed-out user read";
}

TEST(Attributes, AclsTheDestinationHandsDownButTheSourceLacksAreRemoved) {
  // Regression: files copied into a folder with a default ACL granted what the source
  // never granted.
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/plain.txt", "x", 0600);
  ::mkdir((tmp / "into").c_str(), 0755);
  const std::string open = testing::aclValue(7, 5, 5, {{kNobody, 7}});
  ASSERT_EQ(
      ::setxattr((tmp / "into").c_str(), "system.posix_acl_default", open.data(), open.size(), 0),
      0);
  ASSERT_EQ(copyNumber(tmp / "src", tmp / "into/copy"), 0);
  for (const char* path : {"into/copy", "into/copy/plain.txt"}) {
    EXPECT_EQ(attribute(tmp / path, "system.posix_acl_access"), "<none>") << path;
  }
  EXPECT_EQ(attribute(tmp / "into/copy", "system.posix_acl_default"), "<none>");
  EXPECT_EQ(statOf(tmp / "into/copy/plain.txt").st_mode & 07777, 0600u);
}

TEST(Destination, LastComponentDotOrDotDotIsRefusedBeforeAnythingIsWritten) {
  // Regression: a source folder named "..." has the base name "..", and its copy
  // overwrote the files above the destination and reported success.
  TempDir tmp;
  ::mkdir((tmp / "jobs").c_str(), 0755);
  ::mkdir((tmp / "jobs/...").c_str(), 0755);
  ::mkdir((tmp / "jobs/dst").c_str(), 0755);
  writeFile(tmp / "jobs/.../victim.txt", "new");
  writeFile(tmp / "jobs/victim.txt", "old");
  const auto before = snapshot(tmp.path());
  const std::string destinations[] = {
      tmp / "jobs/dst/..",
      tmp / "jobs/dst/.",
      tmp / "jobs/dst/../",
      tmp / "jobs/dst/..//",
      tmp / "jobs/dst/./",
      ".",
      "..",
  };
  for (const std::string& destination : destinations) {
    // In a child inside the destination, so that a relative path cannot reach further.
    const auto copy = [&] {
      if (::chdir((tmp / "jobs/dst").c_str()) != 0) throw RuntimeError(5);
      createDiskFileSystemObject()->CopyFolder(tmp / "jobs/...", destination, true);
    };
    EXPECT_EQ(numberInChild(copy), err::kPathFileAccess) << destination;
  }
  EXPECT_EQ(snapshot(tmp.path()), before);
  // A name that merely starts with dots is an ordinary folder.
  EXPECT_EQ(copyNumber(tmp / "jobs/...", tmp / "jobs/dst/..."), 0);
  EXPECT_EQ(readFile(tmp / "jobs/dst/.../victim.txt"), "new");
}

// Bind-mounts `from` at `at` for the life of the object.
class BindMount {
 public:
  BindMount(const std::string& from, const std::string& at) : at_(at) {
    ::mkdir(at.c_str(), 0755);
    mounted_ = ::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) == 0;
  }
  ~BindMount() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string at_;
  bool mounted_ = false;
};

TEST(Destination, InsideTheSourceThroughABindMountIsRefused) {
  // Regression: real-path strings differ through a bind mount, and the copy wrote
  // hundreds of nested levels into its own source.
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/sub").c_str(), 0755);
  writeFile(tmp / "src/sub/f", "x");
  BindMount alias(tmp / "src", tmp / "alias");
  if (!alias.mounted()) GTEST_SKIP() << "bind mounts are not allowed here";
  const auto before = snapshot(tmp / "src");
  for (const char* destination :
       {"alias", "alias/sub", "alias/sub/new/deeper", "alias/../alias/x"}) {
    EXPECT_EQ(copyNumber(tmp / "src", tmp / destination), err::kPathFileAccess) << destination;
    EXPECT_EQ(copyNumber(tmp / "alias/sub", tmp / "src/sub/copy"), err::kPathFileAccess);
  }
  EXPECT_EQ(snapshot(tmp / "src"), before);
}

TEST(Destination, FolderOwnedBySomeoneElseTakesACompleteCopy) {
  // Regression: the mode and times of an existing folder owned by someone else could not
  // be set, and a complete copy ended with 70.
  REQUIRE_ROOT();
  TempDir tmp;
  ::chmod(tmp.path().c_str(), 0755);
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/docs").c_str(), 0700);
  writeFile(tmp / "src/docs/a.txt", "a", 0644);
  writeFile(tmp / "src/b.txt", "b", 0644);
  for (const char* folder : {"shared", "shared/docs"}) {
    ::mkdir((tmp / folder).c_str(), 0777);
    ::chmod((tmp / folder).c_str(), 0777);
    ::chown((tmp / folder).c_str(), kOwner, kOwner);
  }
  ::chown((tmp / "src").c_str(), kOtherUser, kOtherUser);
  ::chown((tmp / "src/docs").c_str(), kOtherUser, kOtherUser);
  const auto copy = [&] {
    copy::copyFolderOrThrow(tmp / "src", tmp / "shared", testing::testOptions());
  };
  EXPECT_EQ(numberInChild(copy, kOtherUser, kOtherUser), 0);
  EXPECT_EQ(readFile(tmp / "shared/docs/a.txt"), "a");
  EXPECT_EQ(readFile(tmp / "shared/b.txt"), "b");
  EXPECT_EQ(statOf(tmp / "shared").st_uid, kOwner);
}

TEST(SkipUnchanged, FileWrittenByHandInTheSourcesClockTickIsCopied) {
  // Regression: a destination file changed by hand, as large as its source and with its
  // modification time to the nanosecond, was kept as unchanged.
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/f", "source!", 0644);
  ASSERT_EQ(copyNumber(tmp / "src", tmp / "dst"), 0);
  // Written in place, as an editor might: no chmod afterwards, which would move the
  // status-change time on.
  std::ofstream(tmp / "dst/f", std::ios::binary | std::ios::trunc) << "by hand";
  // The source gets the hand-written file's time: both as if written in one clock tick.
  const struct stat edited = statOf(tmp / "dst/f");
  const struct timespec times[2] = {edited.st_mtim, edited.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / "src/f").c_str(), times, 0), 0);
  ASSERT_EQ(copyNumber(tmp / "src", tmp / "dst"), 0);
  EXPECT_EQ(readFile(tmp / "dst/f"), "source!");
  // Copied once, the file is then left as it is.
  const ino_t copied = statOf(tmp / "dst/f").st_ino;
  ASSERT_EQ(copyNumber(tmp / "src", tmp / "dst"), 0);
  EXPECT_EQ(statOf(tmp / "dst/f").st_ino, copied);
}

// Makes `levels` nested folders named `name` below the open folder `fd`, with a sibling
// folder "s" holding a file every `every` levels, and "bottom" at the end. By descriptors:
// the paths may be longer than the system takes.
void makeDeep(int fd, const std::string& name, int levels, int every) {
  UniqueFd at(::dup(fd));
  for (int level = 0; level < levels; ++level) {
    // Siblings, visited before or after the deep branch: they need their parent's
    // folders again once the walk has closed them.
    if (level % every == 0) {
      ASSERT_EQ(::mkdirat(at.get(), "s", 0755), 0);
      const UniqueFd file(::openat(at.get(), "s/f", O_WRONLY | O_CREAT | O_EXCL, 0644));
      const std::string text = std::to_string(level);
      ASSERT_EQ(::write(file.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    ASSERT_EQ(::mkdirat(at.get(), name.c_str(), 0755), 0) << level;
    at = UniqueFd(::openat(at.get(), name.c_str(), O_RDONLY | O_DIRECTORY));
  }
  const UniqueFd file(::openat(at.get(), "bottom", O_WRONLY | O_CREAT | O_EXCL, 0644));
  ASSERT_EQ(::write(file.get(), "deep", 4), 4);
}

// The file `name` in the open folder `fd`.
std::string readAt(int fd, const char* name) {
  const UniqueFd file(::openat(fd, name, O_RDONLY));
  char buffer[64];
  const ssize_t length = file.valid() ? ::read(file.get(), buffer, sizeof buffer) : -1;
  return length < 0 ? "(missing)" : std::string(buffer, static_cast<std::size_t>(length));
}

TEST(DeepTree, DeepTreesCopyUnderTheUsualDescriptorLimit) {
  const struct {
    const char* label;
    std::string name;
    int levels, every;
    rlim_t descriptors;
  } cases[] = {
      // Regression: three descriptors a level ran out at level 340 under `ulimit -n 1024`.
      {"a thousand levels", "d", 1000, 100, 1024},
      // Regression: folders closed for lack of descriptors were opened again by a path over
      // the system's 4,096 bytes, and the run ended with 52 though every file was copied.
      {"paths of 7,650 bytes", std::string(50, 'n'), 150, 10, 1024},
  };
  for (const auto& c : cases) {
    TempDir tmp;
    ::mkdir((tmp / "src").c_str(), 0755);
    {
      const UniqueFd src(::open((tmp / "src").c_str(), O_RDONLY | O_DIRECTORY));
      makeDeep(src.get(), c.name, c.levels, c.every);
    }
    const auto copy = [&] {
      const struct rlimit limit = {c.descriptors, c.descriptors};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) throw RuntimeError(5);
      copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
    };
    EXPECT_EQ(numberInChild(copy), 0) << c.label;
    UniqueFd level(::open((tmp / "dst").c_str(), O_RDONLY | O_DIRECTORY));
    for (int depth = 0; depth < c.levels && level.valid(); ++depth) {
      if (depth % c.every == 0) {
        EXPECT_EQ(readAt(level.get(), "s/f"), std::to_string(depth)) << c.label;
      }
      level = UniqueFd(::openat(level.get(), c.name.c_str(), O_RDONLY | O_DIRECTORY));
    }
    ASSERT_TRUE(level.valid()) << c.label;
    EXPECT_EQ(readAt(level.get(), "bottom"), "deep") << c.label;
  }
}

TEST(OpenFileLimit, CopyRaisesTheSoftLimitToTheHardLimit) {
  // Regression: the copy ran with the soft limit, far below what the system allows.
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  const auto check = [&] {
    struct rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < 2048) return;  // nothing to raise to
    limit.rlim_cur = 1024;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur != limit.rlim_max) throw RuntimeError(5);
  };
  EXPECT_EQ(numberInChild(check), 0);
}

}  // namespace
}  // namespace qm::posix
