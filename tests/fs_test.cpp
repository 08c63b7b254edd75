// Folder copies on the real disk: contents, metadata, merging, replacing and links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "ui/filesystem.h"
#include "errors.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"

namespace qm::posix {
namespace {

using testing::readFile;
using testing::setTime;
using testing::snapshot;
using testing::statOf;
using testing::TempDir;
using testing::writeFile;

// A small tree with nested folders, odd permission bits and nanosecond times.
void makeSampleTree(const std::string& root) {
  ::mkdir(root.c_str(), 0755);
  ::mkdir((root + "/docs").c_str(), 0750);
  ::mkdir((root + "/docs/deep").c_str(), 0711);
  ::mkdir((root + "/empty").c_str(), 0700);
  writeFile(root + "/top.txt", "top level\n", 0640);
  writeFile(root + "/docs/a.bin", std::string(100000, 'x') + "end", 0600);
  writeFile(root + "/docs/deep/run.sh", "#!/bin/sh\n", 0755);
  writeFile(root + "/docs/deep/zero", "", 0444);
  setTime(root + "/top.txt", 1000000000, 123456789);
  setTime(root + "/docs/a.bin", 1200000000, 1);
  setTime(root + "/docs/deep/run.sh", 1300000000, 999999999);
  setTime(root + "/docs/deep", 1400000000, 5);
  setTime(root + "/empty", 1500000000, 7);
  setTime(root + "/docs", 1600000000, 11);
}

class CopyWithWorkers : public ::testing::TestWithParam<unsigned> {};

TEST_P(CopyWithWorkers, FreshCopyKeepsContentsTimesAndPermissions) {
  TempDir tmp;
  makeSampleTree(tmp / "src");
  CopyOptions options = testing::testOptions();
  options.workers = GetParam();
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", options);
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
  const struct stat root = statOf(tmp / "dst");
  EXPECT_EQ(root.st_mode & 07777, 0755u);
  EXPECT_EQ(testing::countTemporaryFiles(tmp.path()), 0);
}

INSTANTIATE_TEST_SUITE_P(Workers, CopyWithWorkers, ::testing::Values(0u, 1u, 2u, 7u));

// A copy made at once with its source's permission bits, to save the call that sets them,
// must end with exactly those bits whatever the umask takes, a copy over an old one too.
TEST(CopyFolder, EveryCopyEndsWithItsSourcesPermissionBitsWhateverTheUmask) {
  const struct {
    mode_t umask, mode;
  } cases[] = {{022, 0644}, {022, 0755}, {022, 0666}, {027, 0640}, {027, 0664},
               {077, 0600}, {077, 0700}, {022, 0444}, {0, 0777},   {002, 0604}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::oct << "umask " << c.umask << ", mode " << c.mode);
    TempDir tmp;
    ::mkdir((tmp / "src").c_str(), 0755);
    writeFile(tmp / "src/f", "data", c.mode);
    ::chmod((tmp / "src/f").c_str(), c.mode);
    const mode_t before = ::umask(c.umask);
    for (int run = 0; run < 2; ++run) {
      // The second run replaces the first copy, made under a temporary name.
      if (run == 1) setTime(tmp / "src/f", 1700000000, 3);
      copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
      EXPECT_EQ(statOf(tmp / "dst/f").st_mode & 07777, c.mode) << "run " << run;
    }
    ::umask(before);
  }
}

TEST(CopyFolder, MergesIntoExistingFolderAndReplacesFiles) {
  TempDir tmp;
  makeSampleTree(tmp / "src");
  ::mkdir((tmp / "dst").c_str(), 0755);
  ::mkdir((tmp / "dst/docs").c_str(), 0755);
  writeFile(tmp / "dst/keep.me", "mine");
  writeFile(tmp / "dst/docs/a.bin", "old contents");
  writeFile(tmp / "dst/top.txt", "old", 0444);  // read-only file from an earlier copy
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  auto copied = snapshot(tmp / "dst");
  EXPECT_EQ(copied["keep.me"].substr(copied["keep.me"].find("file")), "file 4 mine");
  copied.erase("keep.me");
  EXPECT_EQ(copied, snapshot(tmp / "src"));
}

TEST(CopyFolder, TrailingSeparatorCopiesUnderTheSourceName) {
  TempDir tmp;
  makeSampleTree(tmp / "proj.v2");
  ::mkdir((tmp / "out").c_str(), 0755);
  copy::copyFolderOrThrow(tmp / "proj.v2", tmp / "out/", testing::testOptions());
  EXPECT_EQ(snapshot(tmp / "out/proj.v2"), snapshot(tmp / "proj.v2"));
  copy::copyFolderOrThrow(tmp / "proj.v2/", tmp / "out/",
                          testing::testOptions());  // source spelled with a separator too
  EXPECT_EQ(snapshot(tmp / "out/proj.v2"), snapshot(tmp / "proj.v2"));
  EXPECT_FALSE(std::filesystem::exists(tmp / "out/proj.v2/proj.v2"));
}

TEST(CopyFolder, ExistingFileIsErrorWithoutOverwrite) {
  TempDir tmp;
  makeSampleTree(tmp / "src");
  ::mkdir((tmp / "dst").c_str(), 0755);
  writeFile(tmp / "dst/top.txt", "precious");
  CopyOptions options = testing::testOptions();
  options.existing = ExistingFile::Refuse;
  try {
    copy::copyFolderOrThrow(tmp / "src", tmp / "dst", options);
    FAIL() << "expected error 58";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kFileExists);
    EXPECT_EQ(e.path, tmp / "dst/top.txt");
  }
  EXPECT_EQ(readFile(tmp / "dst/top.txt"), "precious");
  EXPECT_EQ(testing::countTemporaryFiles(tmp.path()), 0);
}

TEST(CopyFolder, ReadOnlySourceFolderCanBeCopiedTwice) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/locked").c_str(), 0755);
  writeFile(tmp / "src/locked/f", "one", 0444);
  ::chmod((tmp / "src/locked").c_str(), 0555);
  ::chmod((tmp / "src").c_str(), 0555);
  const auto object = createDiskFileSystemObject();
  object->CopyFolder(tmp / "src", tmp / "dst", true);
  EXPECT_EQ(statOf(tmp / "dst/locked").st_mode & 07777, 0555u);
  ::chmod((tmp / "src/locked").c_str(), 0755);
  writeFile(tmp / "src/locked/f", "two", 0444);
  ::chmod((tmp / "src/locked").c_str(), 0555);
  object->CopyFolder(tmp / "src", tmp / "dst", true);
  EXPECT_EQ(readFile(tmp / "dst/locked/f"), "two");
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
  EXPECT_EQ(statOf(tmp / "dst").st_mode & 07777, 0555u);
}

TEST(CopyFolder, SymbolicLinksAreCopiedAsLinks) {
  TempDir tmp;
  ::mkdir((tmp / "outside").c_str(), 0755);
  writeFile(tmp / "outside/secret", "not to be copied");
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/file", "data");
  ::symlink("file", (tmp / "src/relative").c_str());
  ::symlink((tmp / "outside").c_str(), (tmp / "src/to_outside").c_str());
  ::symlink("loop", (tmp / "src/loop").c_str());
  ::symlink("missing/target", (tmp / "src/dangling").c_str());
  ::symlink(".", (tmp / "src/self").c_str());
  setTime(tmp / "src/relative", 1100000000, 42);
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
  EXPECT_TRUE(S_ISLNK(statOf(tmp / "dst/to_outside").st_mode));
  // Copying again replaces the links by fresh ones without following them.
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
  EXPECT_EQ(readFile(tmp / "outside/secret"), "not to be copied");
}

TEST(CopyFolder, FifoIsRecreatedWithoutBlocking) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ASSERT_EQ(::mkfifo((tmp / "src/pipe").c_str(), 0640), 0);
  writeFile(tmp / "src/after", "x");
  // The copy runs in a child so that a hang is a failure, not a stuck test.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    try {
      copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
      copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
      ::_exit(0);
    } catch (...) {
      ::_exit(1);
    }
  }
  int status = -1;
  for (int waited = 0; waited < 200 && ::waitpid(child, &status, WNOHANG) == 0; ++waited) {
    ::usleep(50000);
  }
  if (status == -1) ::kill(child, SIGKILL), ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "copy hung or failed";
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
}

TEST(CopyFolder, JapaneseAndLongestNames) {
  TempDir tmp;
  const std::string japanese = "日本語のフォルダ";
  const std::string longest(255, 'n');
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/" + japanese).c_str(), 0755);
  writeFile(tmp / "src/" + japanese + "/説明書.txt", "内容");
  writeFile(tmp / "src/" + longest, "long");
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst",
                          testing::testOptions());  // replacing needs room for a temporary name
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
}

TEST(CopyFolder, SparseFileKeepsItsHoles) {
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  const off_t size = off_t{5} << 30;
  const int fd = ::open((tmp / "src/disk.img").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
  ASSERT_EQ(::pwrite(fd, "middle", 6, off_t{9} << 29), 6);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  const struct stat copy = statOf(tmp / "dst/disk.img");
  EXPECT_EQ(copy.st_size, size);
  EXPECT_LT(copy.st_blocks * 512, 4 << 20) << "holes were filled";
  const int in = ::open((tmp / "dst/disk.img").c_str(), O_RDONLY);
  char buffer[6] = {};
  EXPECT_EQ(::pread(in, buffer, 6, off_t{9} << 29), 6);
  EXPECT_EQ(std::string(buffer, 6), "middle");
  EXPECT_EQ(::pread(in, buffer, 4, 0), 4);
  EXPECT_EQ(std::string(buffer, 4), "head");
  ::close(in);
}

TEST(CopyFolder, SkipsUnchangedFilesAndReplacesChangedOnes) {
  TempDir tmp;
  makeSampleTree(tmp / "src");
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  const ino_t unchanged = statOf(tmp / "dst/docs/a.bin").st_ino;
  const ino_t edited = statOf(tmp / "dst/top.txt").st_ino;
  const ino_t modeOnly = statOf(tmp / "dst/docs/deep/run.sh").st_ino;
  writeFile(tmp / "src/top.txt", "TOP LEVEL\n", 0640);  // same size, new time
  ::chmod((tmp / "src/docs/deep/run.sh").c_str(), 0700);
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  EXPECT_EQ(statOf(tmp / "dst/docs/a.bin").st_ino, unchanged);
  EXPECT_NE(statOf(tmp / "dst/top.txt").st_ino, edited);
  EXPECT_NE(statOf(tmp / "dst/docs/deep/run.sh").st_ino, modeOnly);
  EXPECT_EQ(snapshot(tmp / "dst"), snapshot(tmp / "src"));
}

TEST(CopyFolder, TimeDifferingOnlyInNanosecondsIsAChange) {
  TempDir tmp;
  makeSampleTree(tmp / "src");
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  writeFile(tmp / "src/top.txt", "changed!!\n", 0640);
  setTime(tmp / "src/top.txt", 1000000000, 123456790);
  copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions());
  EXPECT_EQ(readFile(tmp / "dst/top.txt"), "changed!!\n");
}

}  // namespace
}  // namespace qm::posix
