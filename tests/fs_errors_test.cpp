// Folder copies that must fail: their error numbers, paths, and what they leave behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "errors.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"
#include "copy/posix/file_copy.h"
#include "copy/posix/system.h"

namespace qm::posix {
namespace {

using testing::snapshot;
using testing::TempDir;
using testing::writeFile;

// Runs the copy and returns the error it throws; number 0 when it succeeds.
RuntimeError copyError(const std::string& source, const std::string& destination) {
  try {
    copy::copyFolderOrThrow(source, destination, testing::testOptions());
  } catch (const RuntimeError& e) {
    return e;
  }
  return RuntimeError(0, "", "");
}

TEST(CopyErrors, BadSourceOrDestination) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/f", "x");
  writeFile(tmp / "file", "a file");
  const struct {
    std::string source;
    std::string destination;
    int number;
    std::string path;
  } cases[] = {
      {tmp / "missing", tmp / "dst", err::kPathNotFound, tmp / "missing"},
      {tmp / "file", tmp / "dst", err::kPathNotFound, tmp / "file"},
      {"", tmp / "dst", err::kPathNotFound, ""},
      {tmp / "src", tmp / "file", err::kFileExists, tmp / "file"},
      {tmp / "src", tmp / "nowhere/", err::kPathNotFound, tmp / "nowhere/"},
      {tmp / "src", tmp / "file/", err::kFileExists, tmp / "file"},
      // Regression: a file where a parent folder is needed was 75 here, 58 on Windows.
      {tmp / "src", tmp / "file/below", err::kFileExists, tmp / "file"},
      {tmp / "src", tmp / "file/below/deeper", err::kFileExists, tmp / "file"},
  };
  for (const auto& c : cases) {
    const RuntimeError e = copyError(c.source, c.destination);
    EXPECT_EQ(e.number, c.number) << c.source << " -> " << c.destination;
    EXPECT_EQ(e.path, c.path) << c.source << " -> " << c.destination;
    EXPECT_EQ(e.description, errorDescription(c.number));
  }
  EXPECT_FALSE(std::filesystem::exists(tmp / "dst"));
}

TEST(CopyErrors, CopyIntoItselfIsRefusedBeforeWriting) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/sub").c_str(), 0755);
  writeFile(tmp / "src/sub/f", "x");
  ::symlink((tmp / "src").c_str(), (tmp / "alias").c_str());
  const auto before = snapshot(tmp.path());
  const std::string destinations[] = {
      tmp / "src",          tmp / "src/",           tmp / "src/sub",
      tmp / "src/new/deep", tmp / "alias/new",      tmp / "src/sub/../sub/x",
      tmp / "alias/sub/",   tmp / "other/../src/y",
  };
  for (const auto& destination : destinations) {
    const RuntimeError e = copyError(tmp / "src", destination);
    EXPECT_EQ(e.number, err::kPathFileAccess) << destination;
    EXPECT_FALSE(e.path.empty()) << destination;
    EXPECT_EQ(copyError(tmp / "alias", destination).number, err::kPathFileAccess) << destination;
  }
  EXPECT_EQ(snapshot(tmp.path()), before);
  // A sibling whose name merely starts with the source's name is not inside it, nor one
  // spelled through the source and "..".
  EXPECT_EQ(copyError(tmp / "src", tmp / "src2").number, 0);
  EXPECT_EQ(copyError(tmp / "src", tmp / "src/sub/../../beside").number, 0);
}

TEST(CopyErrors, FailedReplaceLeavesNoTemporaryFilesAndNamesTheFile) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/sub").c_str(), 0755);
  writeFile(tmp / "src/sub/blocked", "new");
  for (int i = 0; i < 20; ++i) writeFile(tmp / "src/sub/f" + std::to_string(i), "data");
  // A non-empty folder where the copy wants to put a file cannot be replaced by it; the
  // check refuses the copy before any of the other files is written.
  ::mkdir((tmp / "dst").c_str(), 0755);
  ::mkdir((tmp / "dst/sub").c_str(), 0755);
  ::mkdir((tmp / "dst/sub/blocked").c_str(), 0755);
  writeFile(tmp / "dst/sub/blocked/old", "old");
  const RuntimeError e = copyError(tmp / "src", tmp / "dst");
  EXPECT_EQ(e.number, err::kFileExists);
  EXPECT_EQ(e.path, tmp / "dst/sub/blocked");
  EXPECT_EQ(testing::countTemporaryFiles(tmp.path()), 0);
  EXPECT_EQ(testing::readFile(tmp / "dst/sub/blocked/old"), "old");
  EXPECT_NE(::access((tmp / "dst/sub/f0").c_str(), F_OK), 0);
}

TEST(CopyErrors, FileVanishedAfterListingIsFileNotFound) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/gone", "x");
  CopyOptions options = testing::testOptions();
  CopySystem run(options);
  struct stat sourceStat = testing::statOf(tmp / "src");
  DirNode dir;
  openTopNode(dir, run, UniqueFd(::open((tmp / "src").c_str(), O_RDONLY | O_DIRECTORY)), sourceStat,
              tmp / "src", tmp / "dst");
  // Listed with its status (the walk counts sizes) and without (the worker reads it).
  Entry withStatus{"gone", testing::statOf(tmp / "src/gone"), true};
  Entry nameOnly{"gone", {}, false};
  ::unlink((tmp / "src/gone").c_str());
  FolderLease lease(dir);
  for (Entry* listed : {&withStatus, &nameOnly}) {
    try {
      copy::FileProgress progress(nullptr, 0);
      writeEntry(dir, *listed, nullptr, progress, nullptr);
      ADD_FAILURE() << "expected error 53";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kFileNotFound);
      EXPECT_EQ(e.path, tmp / "src/gone");
    }
  }
}

TEST(CopyErrors, ReadOnlyFileSystemIsPermissionDenied) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/f", "x");
  ::mkdir((tmp / "ro").c_str(), 0755);
  if (::mount((tmp / "ro").c_str(), (tmp / "ro").c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "bind mounts are not allowed here";
  }
  const int remounted =
      ::mount(nullptr, (tmp / "ro").c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
  RuntimeError e(0, "", "");
  if (remounted == 0) e = copyError(tmp / "src", tmp / "ro/dst");
  ::umount((tmp / "ro").c_str());
  if (remounted != 0) GTEST_SKIP() << "read-only remount is not allowed here";
  EXPECT_EQ(e.number, err::kPermissionDenied);
  EXPECT_EQ(e.path, tmp / "ro/dst");
}

// Regression: a copy larger than the free space wrote until the volume was full.
TEST(CopyErrors, AFullDiskIsFoundBeforeWritingAndKeepsTheOldCopyOfAFile) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/large", std::string(size_t{2} << 20, 'n'));
  ::mkdir((tmp / "small").c_str(), 0755);
  if (::mount("tmpfs", (tmp / "small").c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "mounting a small file system is not allowed here";
  }
  writeFile(tmp / "small/large", "old copy");
  const RuntimeError e = copyError(tmp / "src", tmp / "small");
  const std::string kept = testing::readFile(tmp / "small/large");
  const int leftovers = testing::countTemporaryFiles(tmp / "small");
  ::umount((tmp / "small").c_str());
  EXPECT_EQ(e.number, err::kDiskFull);
  EXPECT_EQ(e.path, tmp / "small");
  EXPECT_EQ(kept, "old copy");
  EXPECT_EQ(leftovers, 0);
}

}  // namespace
}  // namespace qm::posix
