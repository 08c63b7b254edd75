// The copy engine's rules in isolation: error numbers, metadata refusals, time steps,
// unchanged files, temporary names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "errors.h"
#include "fs_test_util.h"
#include "os/copy_folder.h"
#include "os/posix/copy/temp_files.h"
#include "os/posix/copy/volume.h"
#include "os/posix/error_numbers.h"

namespace qm::fs {
namespace {

TEST(Numbers, ErrnoValuesOfDataCallsNamesAndMetadata) {
  const struct {
    int code;
    int copy;      // from a data call
    int name;      // from creating a named entry
    bool refused;  // from a call that only sets metadata
  } cases[] = {
      {EACCES, err::kPermissionDenied, err::kPermissionDenied, true},
      {EPERM, err::kPermissionDenied, err::kPermissionDenied, true},
      {EROFS, err::kPermissionDenied, err::kPermissionDenied, false},
      {ENOSPC, err::kDiskFull, err::kDiskFull, false},
      {EDQUOT, err::kDiskFull, err::kDiskFull, false},
      {EIO, err::kDeviceIo, err::kDeviceIo, false},
      {ENOMEDIUM, err::kDeviceIo, err::kDeviceIo, false},
      {ENXIO, err::kDeviceIo, err::kDeviceIo, false},
      {ENOTCONN, err::kDeviceIo, err::kDeviceIo, false},
      {ENOENT, err::kFileNotFound, err::kFileNotFound, false},
      {EINVAL, err::kPathFileAccess, err::kBadFileName, true},
      {ENAMETOOLONG, err::kPathFileAccess, err::kBadFileName, false},
      {EILSEQ, err::kPathFileAccess, err::kBadFileName, false},
      {ENOSYS, err::kPathFileAccess, err::kPathFileAccess, true},
      {EOPNOTSUPP, err::kPathFileAccess, err::kPathFileAccess, true},
      {ENOTTY, err::kPathFileAccess, err::kPathFileAccess, true},
      {EEXIST, err::kPathFileAccess, err::kPathFileAccess, false},
      {ELOOP, err::kPathFileAccess, err::kPathFileAccess, false},
      {EMFILE, err::kPathFileAccess, err::kPathFileAccess, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(copyErrorNumber(c.code), c.copy) << c.code;
    EXPECT_EQ(nameErrorNumber(c.code), c.name) << c.code;
    EXPECT_EQ(metadataRefused(c.code), c.refused) << c.code;
  }
}

TEST(TimeSteps, LossOfAProbeRevealsTheVolumesStep) {
  const struct {
    std::int64_t loss;
    std::int64_t step;
  } cases[] = {
      {0, 1},                          // ext4, xfs, btrfs, tmpfs
      {99, 100},                       // NTFS
      {999, 1000},                     // microseconds
      {9'999'999, 10'000'000},         // exFAT (kernel)
      {999'999'999, 1'000'000'000},    // exFAT (FUSE), seconds
      {1'999'999'999, 2'000'000'000},  // FAT
  };
  for (const auto& c : cases) EXPECT_EQ(timeStepFromLoss(c.loss), c.step) << c.loss;
}

struct stat fileStat(off_t size, time_t seconds, long nanoseconds, mode_t mode) {
  struct stat st {};
  st.st_mode = S_IFREG | mode;
  st.st_size = size;
  st.st_mtim = {seconds, nanoseconds};
  st.st_ctim = {seconds + 100, 0};  // times set by a copy
  return st;
}

TEST(SkipUnchanged, DecidesAtTheVolumesStepWithItsModesAndChangeTimes) {
  const VolumeTraits ext4{1, true, true};
  const VolumeTraits fat{2'000'000'000, false, false};
  const VolumeTraits exfat{10'000'000, false, false};
  const struct stat source = fileStat(10, 1001, 999'999'999, 0644);
  struct stat handWritten = fileStat(10, 1001, 999'999'999, 0644);
  handWritten.st_ctim = handWritten.st_mtim;
  struct stat directory = source;
  directory.st_mode = S_IFDIR | 0644;
  const struct {
    const char* what;
    struct stat target;
    VolumeTraits traits;
    bool unchanged;
  } cases[] = {
      {"same to the nanosecond", source, ext4, true},
      {"one nanosecond apart", fileStat(10, 1002, 0, 0644), ext4, false},
      {"other size", fileStat(11, 1001, 999'999'999, 0644), ext4, false},
      {"other mode", fileStat(10, 1001, 999'999'999, 0600), ext4, false},
      {"written by hand in the same tick", handWritten, ext4, false},
      {"not a file", directory, ext4, false},
      {"FAT rounds down to 2 s", fileStat(10, 1000, 0, 0777), fat, true},
      {"FAT, one step off", fileStat(10, 998, 0, 0777), fat, false},
      {"FAT, other size", fileStat(9, 1000, 0, 0777), fat, false},
      {"FAT mirrors the change time", handWritten, fat, true},
      {"exFAT 10 ms", fileStat(10, 1001, 990'000'000, 0777), exfat, true},
      {"exFAT, 20 ms off", fileStat(10, 1001, 979'999'999, 0777), exfat, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(unchangedFile(source, c.target, c.traits), c.unchanged) << c.what;
  // A copy that could not keep its source's owner holds no set-ID bits, and still matches.
  struct stat setuid = fileStat(10, 1001, 999'999'999, 04755);
  setuid.st_uid = 1234;
  EXPECT_TRUE(unchangedFile(setuid, fileStat(10, 1001, 999'999'999, 0755), ext4));
  EXPECT_FALSE(unchangedFile(setuid, fileStat(10, 1001, 999'999'999, 04755), ext4));
}

TEST(TemporaryNames, AreUniqueAndRecognisedAsOursWhileWeRun) {
  std::set<std::string> names;
  for (int i = 0; i < 1000; ++i) names.insert(temporaryName());
  EXPECT_EQ(names.size(), 1000u);
  for (const std::string& name : names) {
    ASSERT_TRUE(name.starts_with(".qm-") && name.ends_with(".tmp")) << name;
    EXPECT_LE(name.size(), 64u);
    EXPECT_FALSE(isStaleTemporary(name)) << name;
  }
  EXPECT_FALSE(isStaleTemporary("notes.tmp"));
  EXPECT_FALSE(isStaleTemporary(".qm-12-x.tmp"));
}

TEST(TemporaryNames, AnotherIsTriedWhenAStaleFileHoldsTheNext) {
  // Regression: a file already under the chosen temporary name stopped the run with 58.
  testing::TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "dst").c_str(), 0755);
  testing::writeFile(tmp / "src/f", "new");
  testing::writeFile(tmp / "dst/f", "old");
  // An older copy by its time: written in the same clock tick as the source, with the
  // status-change time the helper's chmod moves, it would pass for an unchanged copy.
  testing::setTime(tmp / "dst/f", 1'000'000'000, 0);
  const std::string last = temporaryName();
  const size_t dash = last.rfind('-');
  const long next = std::stol(last.substr(dash + 1));
  for (long n = next + 1; n <= next + 10; ++n) {
    testing::writeFile(tmp / "dst/" + last.substr(0, dash + 1) + std::to_string(n) + ".tmp", "");
  }
  ASSERT_NO_THROW(copyFolder(tmp / "src", tmp / "dst"));
  EXPECT_EQ(testing::readFile(tmp / "dst/f"), "new");
}

}  // namespace
}  // namespace qm::fs
