// The POSIX copy engine's rules in isolation: error numbers, metadata refusals, what the
// unchanged rule is given, temporary names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "errors.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"
#include "copy/posix/temporaries.h"
#include "copy/posix/volume.h"
#include "copy/posix/copy_errors.h"

namespace qm::posix {
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
      {ECONNABORTED, err::kDeviceIo, err::kDeviceIo, false},
      {ENOENT, err::kFileNotFound, err::kFileNotFound, false},
      {EINVAL, err::kPathFileAccess, err::kBadFileName, true},
      {ENAMETOOLONG, err::kBadFileName, err::kBadFileName, false},
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

struct stat fileStat(off_t size, time_t seconds, long nanoseconds, mode_t mode) {
  struct stat st {};
  st.st_mode = S_IFREG | mode;
  st.st_size = size;
  st.st_mtim = {seconds, nanoseconds};
  st.st_ctim = {seconds + 100, 0};  // times set by a copy
  return st;
}

// What the shared unchanged rule is given from a file's status (the rule itself is tested
// by its own table).
TEST(SkipUnchanged, StatusGivesModesOwnersAndChangeTimesToTheRule) {
  VolumeRules ext4;
  const struct stat source = fileStat(10, 1001, 999'999'999, 0644);
  struct stat handWritten = fileStat(10, 1001, 999'999'999, 0644);
  handWritten.st_ctim = handWritten.st_mtim;
  struct stat directory = source;
  directory.st_mode = S_IFDIR | 0644;
  EXPECT_TRUE(unchangedFile(source, source, ext4));
  EXPECT_FALSE(unchangedFile(source, fileStat(10, 1001, 999'999'999, 0600), ext4));
  EXPECT_FALSE(unchangedFile(source, handWritten, ext4));
  EXPECT_FALSE(unchangedFile(source, directory, ext4));
  VolumeRules fat;
  fat.times.stepNs = 2'000'000'000;
  fat.keepsModes = fat.keepsChangeTime = false;
  EXPECT_TRUE(unchangedFile(source, fileStat(10, 1000, 0, 0777), fat));
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
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions()));
  EXPECT_EQ(testing::readFile(tmp / "dst/f"), "new");
}

}  // namespace
}  // namespace qm::posix
