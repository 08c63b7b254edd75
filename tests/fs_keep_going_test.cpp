// Copies that go on past what concerns one file: a source file that cannot be read, one
// that vanished, one that changes while it is read, entries changed after the check.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "copy/progress.h"
#include "errors.h"
#include "fs_faults.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"

namespace qm::posix {
namespace {

using copy::Problem;
using testing::copyNumber;
using testing::Made;
using testing::make;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// Regression: one file that could not be read ended the copy at it, and a file that an
// application deleted during the copy ended it with 53.
TEST(KeepGoing, PastAFileThatCannotBeReadAndOneThatVanished) {
  const struct {
    const char* label;
    int error;
    int number;
    std::vector<Problem> failures;
  } cases[] = {
      {"cannot be read",
       EACCES,
       err::kPermissionDenied,
       {{"sub/victim.txt", copy::numberCause(err::kPermissionDenied, true)}}},
      {"vanished", ENOENT, 0, {}},
  };
  for (const auto& c : cases) {
    TempDir tmp;
    make(tmp / "src", {{"a.txt", "A"},
                       {"sub/"},
                       {"sub/victim.txt", "V"},
                       {"sub/z.txt", "Z"},
                       {"t/"},
                       {"t/last.txt", "L"}});
    CopyProgress progress;
    int number = 0;
    {
      const testing::OpenFault fault("victim.txt", c.error);
      number = copyNumber(tmp / "src", tmp / "dst", progress);
    }
    EXPECT_EQ(number, c.number) << c.label;
    EXPECT_EQ(progress.report.failures(), c.failures) << c.label;
    for (const char* copied : {"a.txt", "sub/z.txt", "t/last.txt"})
      EXPECT_TRUE(std::filesystem::exists(tmp / "dst" + "/" + copied)) << c.label << copied;
    EXPECT_FALSE(std::filesystem::exists(tmp / "dst/sub/victim.txt")) << c.label;
  }
}

// A file that changes while it is read (grows, or shrinks so that its read comes short) is
// read again; one that keeps changing is gone past and named, and the rest is copied.
TEST(KeepGoing, AFileThatChangesWhileReadIsReadAgainUpToThreeTimes) {
  const struct {
    int changes;   // how many reads see the file change
    bool shrinks;  // by four bytes each time; else it grows by four
    int number;
  } cases[] = {
      {1, false, 0},
      {2, false, 0},
      {3, false, err::kPathFileAccess},
      {1, true, 0},
  };
  for (const auto& c : cases) {
    TempDir tmp;
    make(tmp / "src", {{"a.txt", "A"}, {"log.txt", std::string(100000, 'l')}});
    int changed = 0;
    const auto grow = [&] {
      if (changed >= c.changes) return;
      ++changed;
      const std::string log = tmp / "src/log.txt";
      if (c.shrinks) {
        std::filesystem::resize_file(log, std::filesystem::file_size(log) - 4);
      } else {
        std::ofstream(log, std::ios::app) << "more";
      }
    };
    const testing::BeforeCall onRange(testing::Call::kCopyFileRange, grow);
    const testing::BeforeCall onWrite(testing::Call::kPwrite, grow);
    const testing::BeforeCall onRing(testing::Call::kRingSubmit, grow);
    CopyProgress progress;
    EXPECT_EQ(copyNumber(tmp / "src", tmp / "dst", progress), c.number) << c.changes;
    EXPECT_EQ(readFile(tmp / "dst/a.txt"), "A");
    if (c.number == 0) {
      EXPECT_EQ(readFile(tmp / "dst/log.txt"), readFile(tmp / "src/log.txt")) << c.changes;
    } else {
      EXPECT_FALSE(std::filesystem::exists(tmp / "dst/log.txt"));
      EXPECT_EQ(progress.report.failures(),
                (std::vector<Problem>{{"log.txt", copy::changingCause()}}));
    }
  }
}

// The copy takes each folder's listing, statuses included, from the check before writing.
// An entry that changed after the check read it is copied as it is when the copy reaches
// it: read again where the file is another, and never read as a file where it is not one.
TEST(KeepGoing, AnEntryThatChangedAfterTheCheckIsCopiedAsItIsNow) {
  const auto replaceWithFile = [](const std::string& path) {
    const std::string other = path + ".new";
    writeFile(other, "new contents");  // the same size
    struct stat old {};
    ASSERT_EQ(::stat(path.c_str(), &old), 0);
    const struct timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
    std::filesystem::rename(other, path);
  };
  const struct {
    const char* label;
    std::function<void(const std::string&)> change;
    const char* expected;  // the copy's contents, or what the copy is
  } cases[] = {
      {"grown", [](const std::string& p) { std::ofstream(p, std::ios::app) << "more"; },
       "old contentsmore"},
      {"shrunk", [](const std::string& p) { std::filesystem::resize_file(p, 3); }, "old"},
      {"another file of the same size and time", replaceWithFile, "new contents"},
      {"a folder",
       [](const std::string& p) {
         std::filesystem::remove(p);
         std::filesystem::create_directory(p);
       },
       "(none)"},
      {"a link",
       [](const std::string& p) {
         std::filesystem::remove(p);
         std::filesystem::create_symlink("../a.txt", p);
       },
       "(link)"},
      {"a FIFO",
       [](const std::string& p) {
         std::filesystem::remove(p);
         ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0);
       },
       "(fifo)"},
      {"removed", [](const std::string& p) { std::filesystem::remove(p); }, "(none)"},
  };
  for (const auto& c : cases) {
    TempDir tmp;
    make(tmp / "src", {{"a.txt", "A"}, {"z/"}, {"z/late.txt", "old contents"}});
    // One worker copies a.txt before it walks into z: the change comes after the check.
    bool changed = false;
    const auto changeOnce = [&] {
      if (!std::exchange(changed, true)) c.change(tmp / "src/z/late.txt");
    };
    const testing::BeforeCall onRange(testing::Call::kCopyFileRange, changeOnce);
    const testing::BeforeCall onWrite(testing::Call::kPwrite, changeOnce);
    const testing::BeforeCall onRing(testing::Call::kRingSubmit, changeOnce);
    CopyProgress progress;
    CopyOptions options = testing::testOptions();
    options.progress = &progress;
    options.workers = 1;
    // A method whose data calls the hooks see (a clone makes none).
    if (options.data == DataMethod::Auto) options.data = DataMethod::Kernel;
    EXPECT_EQ(testing::copyNumber(tmp / "src", tmp / "dst", options), 0) << c.label;
    EXPECT_TRUE(changed) << c.label;
    EXPECT_TRUE(progress.report.failures().empty()) << c.label;
    const std::string copy = tmp / "dst/z/late.txt";
    struct stat st {};
    const bool there = ::lstat(copy.c_str(), &st) == 0;
    const std::string found = !there                 ? "(none)"
                              : S_ISLNK(st.st_mode)  ? "(link)"
                              : S_ISFIFO(st.st_mode) ? "(fifo)"
                              : S_ISDIR(st.st_mode)  ? "(folder)"
                                                     : readFile(copy);
    EXPECT_EQ(found, c.expected) << c.label;
    if (there && S_ISREG(st.st_mode)) {
      struct stat source {};
      ASSERT_EQ(::stat((tmp / "src/z/late.txt").c_str(), &source), 0);
      EXPECT_EQ(st.st_size, source.st_size) << c.label;
      EXPECT_EQ(st.st_mtim.tv_sec, source.st_mtim.tv_sec) << c.label;
    }
  }
}

// Regression: two copies into one new destination at once failed with 58.
TEST(KeepGoing, TwoCopiesIntoOneNewDestinationAtOnceBothSucceed) {
  TempDir tmp;
  std::vector<Made> files;
  for (int i = 0; i < 200; ++i)
    files.push_back({"f" + std::to_string(i % 7) + "/" + std::to_string(i), "x"});
  for (int i = 0; i < 7; ++i) files.insert(files.begin(), {"f" + std::to_string(i) + "/"});
  make(tmp / "src", files);
  for (int round = 0; round < 5; ++round) {
    const std::string destination = tmp / ("dst" + std::to_string(round));
    int numbers[2] = {-1, -1};
    std::thread other([&] {
      CopyProgress progress;
      numbers[1] = copyNumber(tmp / "src", destination, progress);
    });
    CopyProgress progress;
    numbers[0] = copyNumber(tmp / "src", destination, progress);
    other.join();
    EXPECT_EQ(numbers[0], 0) << round;
    EXPECT_EQ(numbers[1], 0) << round;
    EXPECT_EQ(testing::snapshot(destination), testing::snapshot(tmp / "src")) << round;
  }
}

}  // namespace
}  // namespace qm::posix
