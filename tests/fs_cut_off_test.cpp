// Copies onto sticks cut off part-way, by a kill or a stick pulled out: the next run makes
// the copy the source's, and nothing left behind looks complete when it is not.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "copy/copy_folder.h"
#include "copy/options.h"
#include "copy/progress.h"
#include "errors.h"
#include "fs_faults.h"
#include "fs_fuse_volume.h"
#include "fs_sticks.h"
#include "fs_test_util.h"

namespace qm::posix {
namespace {

using copy::Problem;
using testing::contentsBelow;
using testing::copyNumber;
using testing::entriesBelow;
using testing::FuseVolume;
using testing::Made;
using testing::make;
using testing::TempDir;

class CutOffOnStick : public ::testing::TestWithParam<FuseVolume::Kind> {};

// Runs `copy` in a child process, which calls the `stop` it is handed where the copy is
// to be cut off and waits there; kills the child once it has stopped, or once it ended.
// Returns whether it stopped.
bool copyUntilKilled(const std::function<void(const std::function<void()>& stop)>& copy) {
  int stopped[2];
  if (::pipe(stopped) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    const auto stop = [&] {
      if (::write(stopped[1], "s", 1) != 1) ::_exit(1);
      for (;;) ::pause();  // waits here to be killed
    };
    try {
      copy(stop);
    } catch (...) {
    }
    ::_exit(0);
  }
  ::close(stopped[1]);  // so that a child that ends without stopping ends the read
  char said = 0;
  const bool stop = ::read(stopped[0], &said, 1) == 1;
  ::close(stopped[0]);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return stop;
}

// A copy killed part-way leaves no file that looks complete when it is not: the next run
// makes the copy identical to the source.
TEST_P(CutOffOnStick, AfterACopyIsKilledPartWayTheNextRunLeavesTheSourcesCopy) {
  TempDir tmp;
  std::vector<Made> files{{"d0/"}, {"d1/"}, {"d2/"}, {"d3/"}, {"d4/"}};
  for (int i = 0; i < 300; ++i)
    files.push_back({"d" + std::to_string(i % 5) + "/f" + std::to_string(i),
                     std::string(65536, static_cast<char>('a' + i % 26))});
  files.push_back({"big.bin", std::string(8u << 20, 'b')});
  make(tmp / "src", files);
  FuseVolume volume(GetParam(), tmp.path(), 64);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  const std::string destination = volume.mountPoint() + "/backup";
  // Regression (of this test): it killed the copy by the time the tree took to appear, and
  // a fast copy was sometimes done by then. Now the copy stops itself part-way, and says so.
  EXPECT_TRUE(copyUntilKilled([&](const std::function<void()>& stop) {
    std::atomic<int> copies{0};
    const auto stall = [&] {
      if (++copies >= 40) stop();  // every data copy from the 40th on waits to be killed
    };
    const testing::BeforeCall writes(testing::Call::kPwrite, stall);
    const testing::BeforeCall ranges(testing::Call::kCopyFileRange, stall);
    const testing::BeforeCall rings(testing::Call::kRingSubmit, stall);
    copy::copyFolderOrThrow(tmp / "src", destination, testing::testOptions());
  })) << "the copy ended before it was stopped";
  const std::size_t atKill = entriesBelow(destination).size();
  EXPECT_GT(atKill, 0u);
  EXPECT_LT(atKill, files.size()) << "the copy ended before it was killed";
  CopyProgress progress;
  ASSERT_EQ(copyNumber(tmp / "src", destination, progress), 0);
  EXPECT_EQ(contentsBelow(destination), contentsBelow(tmp / "src"));
}

// Regression: a FUSE volume whose driver died part-way ended the copy with 75, as an
// unknown failure, where it is the device's (57). The copy stops at it at once, and once
// the stick is back, the next run makes the copy the source's.
TEST_P(CutOffOnStick, AVolumeThatVanishesPartWayStopsTheCopyAtOnceAndTheNextRunCompletesIt) {
  TempDir tmp;
  std::vector<Made> files{{"d0/"}, {"d1/"}, {"d2/"}};
  for (int i = 0; i < 240; ++i)
    files.push_back({"d" + std::to_string(i % 3) + "/f" + std::to_string(i), "data"});
  make(tmp / "src", files);
  FuseVolume volume(GetParam(), tmp.path(), 64);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  std::atomic<int> written{0};
  std::atomic<bool> gone{false};
  std::atomic<int> afterVanishing{0};
  const auto pull = [&] {
    if (gone) ++afterVanishing;
    if (++written != 30) return;
    volume.vanish();
    gone = true;
  };
  const testing::BeforeCall onRange(testing::Call::kCopyFileRange, pull);
  const testing::BeforeCall onWrite(testing::Call::kPwrite, pull);
  const testing::BeforeCall onRing(testing::Call::kRingSubmit, pull);
  CopyProgress progress;
  EXPECT_EQ(copyNumber(tmp / "src", volume.mountPoint() + "/backup", progress), err::kDeviceIo);
  const std::vector<Problem> failures = progress.report.failures();
  ASSERT_FALSE(failures.empty());
  EXPECT_EQ(failures.front().cause, copy::numberCause(err::kDeviceIo, false));
  // The files in flight on the other threads may still try; none after them.
  EXPECT_LT(afterVanishing.load(), 16);
  ASSERT_TRUE(volume.remount());
  ASSERT_EQ(copyNumber(tmp / "src", volume.mountPoint() + "/backup", progress), 0);
  EXPECT_EQ(contentsBelow(volume.mountPoint() + "/backup"), contentsBelow(tmp / "src"));
}

// Regression: a run cut off during its read-back, onto a stick that gives back other bytes
// than it was given, left the next run to take the files it never read back for
// unchanged: that run read nothing back and ended in 0.
TEST(CutOffDuringReadBack, TheNextRunReadsBackWhatTheRunBeforeDidNot) {
  TempDir tmp;
  std::string photo(200000, '\0');
  for (std::size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<char>(i * 7 % 251);
  make(tmp / "src", {{"ok.txt", "fine"}, {"photo-flip.jpg", photo}});
  FuseVolume volume(FuseVolume::Kind::kLying, tmp.path(), 0);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  const std::string destination = volume.mountPoint() + "/backup";
  EXPECT_TRUE(copyUntilKilled([&](const std::function<void()>& stop) {
    CopyProgress progress;
    CopyOptions options = testing::testOptions();
    options.progress = &progress;
    // The read-back's first file waits to be killed.
    const testing::BeforeCall opening(testing::Call::kOpen, [&] {
      if (progress.readingBack.load()) stop();
    });
    copy::copyFolderOrThrow(tmp / "src", destination, options);
  })) << "the copy ended before its read-back";
  CopyProgress progress;
  EXPECT_EQ(copyNumber(tmp / "src", destination, progress), err::kDeviceIo);
  const std::vector<Problem> failures = progress.report.failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures.front().file, "photo-flip.jpg");
  EXPECT_EQ(progress.filesWritten.load(), 0u);
}

INSTANTIATE_TEST_SUITE_P(FatAndExfat, CutOffOnStick, testing::kSticks, testing::stickName);

}  // namespace
}  // namespace qm::posix
