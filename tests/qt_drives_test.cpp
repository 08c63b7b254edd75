// Drive roots on Linux: mounts table, root order, current folders, folder paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "errors.h"
#include "os/roots.h"

namespace qm {
namespace {

TEST(Drives, VolumesComeFromMediaMntAndRunMediaOnly) {
  const char* mounts =
      "/dev/sda1 / ext4 rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "/dev/sdb1 /media/user/USB\\040STICK vfat rw 0 0\n"
      "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
      "/dev/sdd1 /run/media/user/CARD exfat rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
      "/dev/sde1 /mediaX/other ext4 rw 0 0\n"
      "tmpfs /mnt tmpfs rw 0 0\n"
      "/dev/sdc1 /mnt/backup ext4 rw 0 0\n";
  EXPECT_EQ(
      volumeMountPoints(mounts),
      (std::vector<std::string>{"/media/user/USB STICK", "/mnt/backup", "/run/media/user/CARD"}));
}

TEST(Drives, RootsAreSlashThenHomeThenVolumes) {
  const auto roots = driveRoots("/home/user/", {"/media/usb", "/mnt/disk"});
  ASSERT_EQ(roots.size(), 4u);
  const std::pair<const char*, const char*> want[] = {
      {"C:", "/"}, {"A:", "/home/user"}, {"/media/usb", "/media/usb"}, {"/mnt/disk", "/mnt/disk"}};
  for (std::size_t i = 0; i < roots.size(); ++i) {
    EXPECT_EQ(roots[i].spec, want[i].first);
    EXPECT_EQ(roots[i].path, want[i].second);
  }
}

TEST(Drives, FindRootBySpecIgnoresLetterCaseAndRefusesUnknownSpecs) {
  const auto roots = driveRoots("/home/user", {"/media/usb"});
  struct Case {
    const char* spec;
    const char* path;  // nullptr: unknown
  };
  const Case cases[] = {{"C:", "/"},
                        {"c:", "/"},
                        {"A:", "/home/user"},
                        {"a:", "/home/user"},
                        {"/media/usb", "/media/usb"},
                        {"D:", nullptr},
                        {"", nullptr},
                        {"/media", nullptr}};
  for (const Case& c : cases) {
    const Root* r = findRoot(roots, c.spec);
    if (!c.path)
      EXPECT_EQ(r, nullptr) << c.spec;
    else
      EXPECT_EQ(r ? r->path : "-", c.path) << c.spec;
  }
}

TEST(Drives, CurrentFolderOfARootIsTheProcessFolderOnlyInItsDeepestRoot) {
  const auto roots = driveRoots("/home/user", {"/media/usb"});
  struct Case {
    const char* spec;
    const char* cwd;
    const char* current;
  };
  const Case cases[] = {
      {"C:", "/etc/ssl", "/etc/ssl"},
      {"A:", "/etc/ssl", "/home/user"},
      {"C:", "/home/user/docs", "/"},  // the home root holds it, deeper than "/"
      {"A:", "/home/user/docs", "/home/user/docs"},
      {"A:", "/home/username", "/home/user"},  // a name prefix is not a folder inside
      {"/media/usb", "/media/usb/photos", "/media/usb/photos"},
      {"C:", "/media/usb/photos", "/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rootCurrentFolder(roots, *findRoot(roots, c.spec), c.cwd), c.current)
        << c.spec << " in " << c.cwd;
  EXPECT_EQ(rootOf(roots, "/home/user/x")->spec, "A:");
  EXPECT_EQ(rootOf(roots, "/var")->spec, "C:");
}

TEST(Drives, FolderPathsAreNormalisedAndChainedFromTheTop) {
  EXPECT_EQ(normalFolder("/a/b/../c/", "/"), "/a/c");
  EXPECT_EQ(normalFolder("x/./y", "/home/u"), "/home/u/x/y");
  EXPECT_EQ(normalFolder("/", "/tmp"), "/");
  EXPECT_EQ(folderChain("/", "/a/b"), (std::vector<std::string>{"/", "/a", "/a/b"}));
  EXPECT_EQ(folderChain("/home/u", "/home/u/x"),
            (std::vector<std::string>{"/home/u", "/home/u/x"}));
  EXPECT_EQ(folderChain("/", "/"), (std::vector<std::string>{"/"}));
}

TEST(Drives, ListingGivesVisibleSubfoldersSortedAndFailsWith76WhenMissing) {
  // One folder per process, so that runs of the suite side by side do not share it.
  const auto base =
      std::filesystem::temp_directory_path() / ("qm_drives_test_" + std::to_string(::getpid()));
  std::filesystem::remove_all(base);
  for (const char* d : {"b", "a", ".hidden", "c/deeper"})
    std::filesystem::create_directories(base / d);
  std::ofstream(base / "file.txt") << "x";
  EXPECT_EQ(listSubfolders(base.string()), (std::vector<std::string>{"a", "b", "c"}));
  try {
    (void)listSubfolders((base / "missing").string());
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPathNotFound);
    EXPECT_EQ(e.path, (base / "missing").string());
  }
  std::filesystem::remove_all(base);
}

}  // namespace
}  // namespace qm
