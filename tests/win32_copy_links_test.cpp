// The Windows copy and links: linked folders copied as what they point to, links that lead
// back into the copy left out and listed, links followed only on their owner's read
// access, copies into the source through links and bind mounts refused by file identity.
#include <windows.h>

#include <sddl.h>

#include <string>

#include "ui/filesystem.h"
#include "copy/progress.h"
#include "copy/copy_folder.h"
#include "copy/win32/link_access.h"
#include "copy/win32/listing.h"
#include "win32_fs_util.h"

namespace qm {
namespace {

using namespace qm::testing;

class Win32CopyLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    root = freshRoot("qm-links-");
    src = root + "\\元";
    dst = root + "\\先";
    other = root + "\\外";
    for (const std::string& d : {src, src + "\\下", other, other + "\\奥"})
      CreateDirectoryW(lp(d).c_str(), nullptr);
    put(src + "\\a.txt", "A");
    put(src + "\\下\\b.txt", "B");
    put(other + "\\o.txt", "O");
    put(other + "\\奥\\p.txt", "P");
  }
  void TearDown() override {
    // Links go first, so that removing the tree does not reach through them.
    removeLinks();
    removeTree(root);
  }
  void removeLinks() {
    for (const std::string& made : links) {
      if (underWine()) runUnixShell("rm -f '" + unixPathOf(made) + "'");
      RemoveDirectoryW(lp(made).c_str());
    }
    links.clear();
  }
  // Makes the folder link `link` to `target`, or skips the test where the system cannot.
  bool link(const std::string& at, const std::string& target) {
    if (!linkFolder(at, target)) return false;
    links.push_back(at);
    return true;
  }
  int copyError(const std::string& to) {
    return errorOf([&] { createDiskFileSystemObject()->CopyFolder(src, to, true); });
  }
  std::string root, src, dst, other;
  std::vector<std::string> links;
};

TEST_F(Win32CopyLinks, ALinkedFolderIsCopiedAsTheFolderItPointsTo) {
  // Regression: a junction or folder link in the source was skipped, and the copy
  // reported success without the folder and everything below it.
  if (!link(src + "\\リンク", other)) GTEST_SKIP() << "no folder links here";
  EXPECT_EQ(copyError(dst), 0);
  const std::map<std::string, std::string> expected{
      {"a.txt", "A"},         {"下\\", ""},         {"下\\b.txt", "B"},        {"リンク\\", ""},
      {"リンク\\o.txt", "O"}, {"リンク\\奥\\", ""}, {"リンク\\奥\\p.txt", "P"}};
  EXPECT_EQ(tree(dst), expected);
  // A real folder in the copy, not a link back to the original.
  EXPECT_FALSE(attributesOf(dst + "\\リンク") & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_NE(fileIndexOf(dst + "\\リンク\\o.txt"), fileIndexOf(other + "\\o.txt"));
}

// Regression: a link that led back into the copy refused the whole copy, on every run.
TEST_F(Win32CopyLinks, LinksThatLeadBackIntoTheCopyAreLeftOutAndListedAndTheRestCopied) {
  CreateDirectoryW(lp(dst).c_str(), nullptr);
  // More files than the copy hands on at once, listed before the link.
  std::map<std::string, std::string> copied{{"a.txt", "A"}, {"下\\", ""}, {"下\\b.txt", "B"}};
  for (int i = 0; i < 40; ++i) {
    put(src + "\\f" + std::to_string(i) + ".txt", "F");
    copied["f" + std::to_string(i) + ".txt"] = "F";
  }
  const struct {
    const char* label;
    std::string target;
    bool cycle;
  } cases[] = {
      {"a folder elsewhere in the source: copied as what it leads to", src + "\\下", false},
      {"the source itself", src, true},
      {"a folder above the source", root, true},
      {"the destination", dst, true},
  };
  for (const auto& c : cases) {
    if (!link(src + "\\loop", c.target)) GTEST_SKIP() << "no folder links here";
    CopyProgress progress;
    CopyOptions options;
    options.progress = &progress;
    EXPECT_EQ(errorOf([&] { copy::copyFolderOrThrow(src, dst, options); }), 0) << c.label;
    std::map<std::string, std::string> expected = copied;
    if (!c.cycle) expected.insert({{"loop\\", ""}, {"loop\\b.txt", "B"}});
    EXPECT_EQ(tree(dst), expected) << c.label;
    const std::vector<copy::Problem> leftOut =
        c.cycle ? std::vector<copy::Problem>{{"loop", copy::leftOutCause(copy::LeftOut::Cycle)}}
                : std::vector<copy::Problem>{};
    EXPECT_EQ(progress.report.leftOut(), leftOut) << c.label;
    removeLinks();
    removeTree(dst);
    CreateDirectoryW(lp(dst).c_str(), nullptr);
  }
}

TEST_F(Win32CopyLinks, ADestinationReachedThroughALinkIntoTheSourceIsRefused) {
  if (!link(root + "\\入口", src + "\\下")) GTEST_SKIP() << "no folder links here";
  EXPECT_EQ(copyError(root + "\\入口\\new"), err::kPathFileAccess);
  EXPECT_EQ(copyError(root + "\\入口"), err::kPathFileAccess);
  EXPECT_EQ(tree(src + "\\下"), (std::map<std::string, std::string>{{"b.txt", "B"}}));
}

TEST_F(Win32CopyLinks, ADestinationOnABindMountOfTheSourceIsRefused) {
  // Regression: a bind mount of the source showed other final paths, and the copy wrote
  // into the source level after level.
  if (!underWine()) GTEST_SKIP() << "bind mounts are made on the Unix side of Wine";
  const std::string mount = root + "\\mnt";
  CreateDirectoryW(lp(mount).c_str(), nullptr);
  const int mounted =
      runUnixShell("mount --bind '" + unixPathOf(src) + "' '" + unixPathOf(mount) + "'");
  const int number = mounted == 0 ? copyError(mount + "\\x") : 0;
  // Taken down whatever the mount said, so that nothing stays mounted.
  runUnixShell("umount '" + unixPathOf(mount) + "'");
  if (mounted != 0) GTEST_SKIP() << "bind mounts need root";
  EXPECT_EQ(number, err::kPathFileAccess);
  EXPECT_EQ(tree(src).count("x\\"), 0u);
}

TEST_F(Win32CopyLinks, ALinkThatPointsNowhereStopsTheCopyWith53) {
  if (underWine()) GTEST_SKIP() << "Wine does not list links that point nowhere";
  if (!link(src + "\\gone", root + "\\missing")) GTEST_SKIP() << "no folder links here";
  EXPECT_EQ(copyError(dst), err::kFileNotFound);
}

// Wine shows no reparse points (a Unix symbolic link is seen as what it leads to, and
// links it is asked to make are not made), and reports a file of another Unix user as
// owned by another account. There, a plain file owned by another user stands in for such
// a link. Wine has no Authz: that the copy's own link is followed there shows it is
// followed without the check.
TEST_F(Win32CopyLinks, ALinkIsFollowedOnlyWhereItsOwnerMayReadWhatItLeadsTo) {
  const std::string mine = src + "\\リンク", stranger = src + "\\他人", secret = root + "\\秘";
  if (!link(mine, other)) GTEST_SKIP() << "no folder links here";
  put(stranger, "");
  put(secret + ".txt", "S");
  CreateDirectoryW(lp(secret).c_str(), nullptr);
  const bool others =
      underWine() &&
      runUnixShell("chown 1234 '" + unixPathOf(stranger) + "' && chmod 600 '" + unixPathOf(secret) +
                   ".txt' && chmod 700 '" + unixPathOf(secret) + "'") == 0;
  const struct {
    const char* label;
    std::string link, target;
    bool byOther, folder, ownedBySelf, followed;
  } cases[] = {
      {"the copy's own link to a folder", mine, other, false, true, true, true},
      {"another account's link to a file only the copy's account may read", stranger,
       secret + ".txt", true, false, false, false},
      {"another account's link to a folder only the copy's account may list", stranger, secret,
       true, true, false, false},
  };
  for (const auto& c : cases) {
    if (c.byOther && !others) continue;
    const win32::Handle target = win32::openFollowing(lp(c.target));
    ASSERT_TRUE(target.valid()) << c.label;
    EXPECT_EQ(win32::ownedBySelf(lp(c.link)), c.ownedBySelf) << c.label;
    EXPECT_EQ(win32::linkOwnerMayRead(lp(c.link), target.get(), c.folder), c.followed) << c.label;
  }
  if (!others) GTEST_SKIP() << "files of another account are made only by root under Wine";
}

TEST(Win32LinkOwners, ALinkIsFollowedWhereItsOwnerIsTrustedOrMayRead) {
  using win32::OwnerRead;
  const struct {
    const char* label;
    bool self, system;
    OwnerRead answer;
    bool followed;
  } cases[] = {
      {"the copy's account, never asked", true, false, OwnerRead::Unknown, true},
      {"the copy's account, whatever the check says", true, false, OwnerRead::Denied, true},
      {"a system principal, never asked", false, true, OwnerRead::Unknown, true},
      {"another account that may read", false, false, OwnerRead::Granted, true},
      {"another account that may not read", false, false, OwnerRead::Denied, false},
      {"another account, where the check cannot be made", false, false, OwnerRead::Unknown, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(win32::followsLink(c.self, c.system, c.answer), c.followed) << c.label;
}

TEST(Win32LinkOwners, OnlyTheSystemsOwnPrincipalsAreTrusted) {
  const struct {
    const wchar_t* sid;
    bool system;
  } cases[] = {
      {L"S-1-5-18", true},      // LocalSystem
      {L"S-1-5-32-544", true},  // Administrators
      // TrustedInstaller, then SIDs that differ from it in the last part or lack it.
      {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},
      {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478465", false},
      {L"S-1-5-80-956008885-3418522649-1831038044-1853292631", false},
      {L"S-1-5-32-545", false},  // Users
      {L"S-1-5-19", false},      // LocalService
      {L"S-1-5-7", false},       // Anonymous, Wine's owner of other Unix users' files
      {L"S-1-1-0", false},       // Everyone
      {L"S-1-5-21-0-0-0-1000", false},
  };
  for (const auto& c : cases) {
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(c.sid, &sid)) << narrow(c.sid);
    EXPECT_EQ(win32::isSystemPrincipal(sid), c.system) << narrow(c.sid);
    LocalFree(sid);
  }
}

TEST(Win32LinkOwners, OnlySymbolicLinksAndJunctionsAnswerToTheirOwner) {
  const std::pair<DWORD, bool> cases[] = {
      {IO_REPARSE_TAG_SYMLINK, true},   {IO_REPARSE_TAG_MOUNT_POINT, true},
      {IO_REPARSE_TAG_WOF, false},      {IO_REPARSE_TAG_DEDUP, false},
      {IO_REPARSE_TAG_CLOUD_6, false},  {IO_REPARSE_TAG_APPEXECLINK, false},
      {IO_REPARSE_TAG_ONEDRIVE, false}, {0, false},
  };
  for (const auto& [tag, owned] : cases) EXPECT_EQ(win32::isOwnedLink(tag), owned) << tag;
}

TEST(Win32CompatibilityJunctions, OnlyHiddenSystemJunctionsAreLeftOut) {
  constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY, kLink = FILE_ATTRIBUTE_REPARSE_POINT;
  constexpr DWORD kHidden = FILE_ATTRIBUTE_HIDDEN, kSystem = FILE_ATTRIBUTE_SYSTEM;
  const struct {
    const char* label;
    DWORD attributes, tag;
    bool leftOut;
  } cases[] = {
      {"My Music in Documents", kFolder | kLink | kHidden | kSystem, IO_REPARSE_TAG_MOUNT_POINT,
       true},
      {"a user's junction", kFolder | kLink, IO_REPARSE_TAG_MOUNT_POINT, false},
      {"a hidden junction", kFolder | kLink | kHidden, IO_REPARSE_TAG_MOUNT_POINT, false},
      {"a hidden system symbolic link", kFolder | kLink | kHidden | kSystem, IO_REPARSE_TAG_SYMLINK,
       false},
      {"a hidden system folder", kFolder | kHidden | kSystem, 0, false},
  };
  for (const auto& c : cases) {
    win32::Entry e;
    e.attributes = c.attributes;
    e.reparseTag = c.tag;
    EXPECT_EQ(win32::isCompatibilityJunction(e), c.leftOut) << c.label;
  }
}

}  // namespace
}  // namespace qm
