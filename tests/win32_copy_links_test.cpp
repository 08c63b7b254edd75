// The Windows copy and links: linked folders copied as what they point to, links that lead
// back into the copy left out and listed, copies into the source through links
// and bind mounts refused by file identity.
#include <string>

#include "copy/filesystem.h"
#include "copy/progress.h"
#include "os/copy_folder.h"
#include "os/win32/copy/listing.h"
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
    EXPECT_EQ(errorOf([&] { fs::copyFolder(src, dst, options); }), 0) << c.label;
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
