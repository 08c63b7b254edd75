// The read-back after a copy, onto a FUSE volume that hands back other bytes than it was
// given once the kernel's cache is passed, and onto one that keeps them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "copy/progress.h"
#include "errors.h"
#include "fs_fuse_volume.h"
#include "fs_test_util.h"

namespace qm::posix {
namespace {

using copy::Problem;
using testing::FuseVolume;
using testing::readFile;
using testing::TempDir;

// Bytes that differ from offset to offset, so that a shifted or zeroed block shows.
std::string pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 251);
  return bytes;
}

struct Copied {
  int number;
  std::vector<Problem> failures;
  std::uint64_t written, checked;
};

// Old copies are read back again only where a case asks: in turn, they are as many as
// time allows.
Copied copyOnto(const std::string& source, const std::string& destination, ReadBack readBack,
                OldCopies oldCopies = OldCopies::None) {
  CopyProgress progress;
  CopyOptions options = testing::testOptions();
  options.progress = &progress;
  options.readBack = readBack;
  options.oldCopies = oldCopies;
  const int number = testing::copyNumber(source, destination, options);
  return {number, progress.report.failures(), progress.filesWritten.load(),
          progress.filesChecked.load()};
}

// Regression: a copy onto a volume that gave back other bytes than it was given reported
// success, and so did the next run, since the damaged files looked unchanged.
TEST(ReadBack, WhatTheDeviceGivesBackOtherThanWrittenFailsTheRunAndIsCopiedAgain) {
  TempDir tmp;
  const std::string source = tmp / "src";
  std::filesystem::create_directories(source + "/sub");
  testing::writeFile(source + "/ok.txt", pattern(100000, 1));
  testing::writeFile(source + "/sub/photo-flip.jpg", pattern(200000, 2));
  testing::writeFile(source + "/sub/small-flip.txt", "tiny");
  testing::writeFile(source + "/movie-zero.bin", pattern(300000, 3));
  testing::writeFile(source + "/short-zero.txt", pattern(1000, 4));  // within 64 KiB: kept
  const std::string lie = copy::readBackCause();
  const struct {
    FuseVolume::Kind kind;
    ReadBack readBack;
    int number;
    std::vector<Problem> failures;  // in any order
    std::uint64_t checked;
  } cases[] = {
      {FuseVolume::Kind::kLying,
       ReadBack::ByMedium,
       err::kDeviceIo,
       {{"movie-zero.bin", lie}, {"sub/photo-flip.jpg", lie}, {"sub/small-flip.txt", lie}},
       5},
      // Where the run reads nothing back, the lie stays in the cache, unseen.
      {FuseVolume::Kind::kLying, ReadBack::Never, 0, {}, 0},
  };
  for (const auto& c : cases) {
    TempDir at;
    FuseVolume volume(c.kind, at.path(), 0);
    if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
    const std::string destination = volume.mountPoint() + "/backup";
    const Copied first = copyOnto(source, destination, c.readBack);
    EXPECT_EQ(first.number, c.number);
    auto failures = first.failures;
    std::sort(failures.begin(), failures.end(),
              [](const Problem& a, const Problem& b) { return a.file < b.file; });
    EXPECT_EQ(failures, c.failures);
    EXPECT_EQ(first.checked, c.checked);
    if (c.number == 0) continue;
    // The damaged copies no longer look like the source's: the next run writes them again
    // (and the volume lies again), and leaves the sound ones.
    EXPECT_EQ(readFile(destination + "/ok.txt"), pattern(100000, 1));
    const Copied second = copyOnto(source, destination, c.readBack);
    EXPECT_EQ(second.number, err::kDeviceIo);
    EXPECT_EQ(second.written, c.failures.size());
    EXPECT_EQ(second.checked, c.failures.size());
  }
}

// A sound volume gives back what it was given: the same tree passes its read-back.
TEST(ReadBack, ASoundVolumePassesAndOnlyWhatThisRunWroteIsReadBack) {
  TempDir tmp;
  const std::string source = tmp / "src";
  std::filesystem::create_directories(source + "/sub");
  testing::writeFile(source + "/ok.txt", pattern(100000, 1));
  testing::writeFile(source + "/sub/b.bin", pattern(3 << 20, 5));
  testing::writeFile(source + "/empty.txt", "");
  FuseVolume volume(FuseVolume::Kind::kExfat, tmp.path(), 64);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  const std::string destination = volume.mountPoint() + "/backup";
  const struct {
    const char* label;
    OldCopies oldCopies;
    std::uint64_t written, checked;
  } runs[] = {{"fresh copy", OldCopies::None, 3, 3},
              {"unchanged re-copy", OldCopies::None, 0, 0},
              {"unchanged re-copy, every old copy read back again", OldCopies::All, 0, 3}};
  for (const auto& run : runs) {
    const Copied copied = copyOnto(source, destination, ReadBack::ByMedium, run.oldCopies);
    EXPECT_EQ(copied.number, 0) << run.label;
    EXPECT_EQ(copied.failures, std::vector<Problem>{}) << run.label;
    EXPECT_EQ(copied.written, run.written) << run.label;
    EXPECT_EQ(copied.checked, run.checked) << run.label;
  }
}

// The pages of `path` that wait to be written to where it is stored; nothing where the
// kernel cannot tell (cachestat came with Linux 6.5).
std::optional<std::uint64_t> dirtyPages(const std::string& path) {
  struct Range {
    std::uint64_t offset, length;
  } range{0, 0};  // the whole file
  struct CacheStat {
    std::uint64_t cached, dirty, writeback, evicted, recentlyEvicted;
  } stat{};
  constexpr long kCachestat = 451;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const long result = ::syscall(kCachestat, fd, &range, &stat, 0);
  ::close(fd);
  if (result != 0) return std::nullopt;
  return stat.dirty;
}

// Regression: onto a FAT stick served by the FUSE FAT driver from its device, the copy
// reported completion while the files waited in the device's pages, reaching the device
// about 30 s later. At the end of the copy nothing of the volume waits to be written.
TEST(ReadBack, AtTheEndOfTheCopyTheDeviceHoldsIt) {
  for (const FuseVolume::Kind kind : {FuseVolume::Kind::kFat32, FuseVolume::Kind::kExfat}) {
    TempDir tmp;
    const std::string source = tmp / "src";
    std::filesystem::create_directories(source);
    for (int i = 0; i < 20; ++i)
      testing::writeFile(source + "/f" + std::to_string(i), pattern(200000, i));
    FuseVolume volume(kind, tmp.path(), 64);
    if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
    if (!dirtyPages(volume.store())) GTEST_SKIP() << "this kernel does not count dirty pages";
    const Copied copied = copyOnto(source, volume.mountPoint() + "/backup", ReadBack::ByMedium);
    EXPECT_EQ(copied.number, 0);
    EXPECT_EQ(copied.written, 20u);
    EXPECT_EQ(dirtyPages(volume.store()), std::optional<std::uint64_t>(0)) << volume.store();
  }
}

}  // namespace
}  // namespace qm::posix
