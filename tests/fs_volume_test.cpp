// Copies onto real FAT32 and exFAT volumes and a share that normalises names, mounted with
// FUSE: every file arrives, a second run writes nothing, and names or entries the volume
// refuses end in the generic branch.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "errors.h"
#include "fs_faults.h"
#include "fs_fuse_volume.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"
#include "copy/posix/medium.h"
#include "os/posix/unique_fd.h"

namespace qm::posix {
namespace {

using testing::Call;
using testing::FuseVolume;
using testing::readFile;
using testing::setTime;
using testing::TempDir;
using testing::writeFile;

// Names and file contents below `root`; what a volume without modes and owners keeps.
std::map<std::string, std::string> contents(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = std::filesystem::relative(entry.path(), root).string();
    files[name] = entry.is_directory() ? "folder" : readFile(entry.path().string());
  }
  return files;
}

// Data written and entries renamed on the destination since the last reset.
std::uint64_t writes() {
  return testing::calls(Call::kPwrite) + testing::calls(Call::kCopyFileRange) +
         testing::calls(Call::kRingSubmit) + testing::calls(Call::kRenameat2);
}

// A user's folder: nested folders, modes and times with nanoseconds, set-ID and empty
// files, and `names` for its files.
void makeTree(const std::string& root, const std::string& folder, const std::string& file) {
  ::mkdir(root.c_str(), 0755);
  ::mkdir((root + "/" + folder).c_str(), 0750);
  ::mkdir((root + "/" + folder + "/deeper").c_str(), 0700);
  writeFile(root + "/" + file, "first file", 0640);
  writeFile(root + "/run.sh", "#!/bin/sh\n", 04755);
  writeFile(root + "/empty", "", 0444);
  writeFile(root + "/" + folder + "/" + file, std::string(200000, 'd'), 0600);
  writeFile(root + "/" + folder + "/deeper/last.txt", "last", 0644);
  setTime(root + "/" + file, 1600000001, 123456789);
  setTime(root + "/" + folder + "/deeper/last.txt", 1600000003, 999999999);
  setTime(root + "/" + folder, 1500000000, 5);
}

class VolumeCopy : public ::testing::TestWithParam<FuseVolume::Kind> {};

TEST_P(VolumeCopy, EveryFileArrivesAndASecondRunWritesNothing) {
  // Regression: on FAT the first file's permission bits could not be set and the run
  // stopped; on exFAT every re-copy rewrote every file (times kept at coarser steps).
  TempDir tmp;
  const bool fat = GetParam() != FuseVolume::Kind::kExfat;
  const bool share = GetParam() == FuseVolume::Kind::kNormalizing;
  // The FAT driver here takes ASCII names only; exFAT takes any; the share is given names
  // with decomposed letters, which it stores composed.
  const std::string folder = share ? "Cafe\xCC\x81" : fat ? "Docs" : "書類";
  const std::string name = share ? "re\xCC\x81sume\xCC\x81.txt" : fat ? "report.txt" : "報告書.txt";
  makeTree(tmp / "src", folder, name);
  FuseVolume volume(GetParam(), tmp.path(), 64);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  // The source's files under the names the volume lists them by.
  const auto expected = [&] {
    std::map<std::string, std::string> listed;
    for (const auto& [path, bytes] : contents(tmp / "src")) listed[volume.listed(path)] = bytes;
    return listed;
  };
  const std::string destination = volume.mountPoint() + "/backup";
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", destination, testing::testOptions()));
  EXPECT_EQ(contents(destination), expected());

  testing::resetCalls();
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", destination, testing::testOptions()));
  EXPECT_EQ(writes(), 0u) << "an unchanged tree was written again";

  // A change of size, or of time by more than the volume's step, is copied again.
  writeFile(tmp / "src/empty", "now with data", 0444);
  writeFile(tmp / "src/run.sh", "#!/bin/bash", 04755);
  setTime(tmp / "src/run.sh", 1700000000, 0);
  testing::resetCalls();
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", destination, testing::testOptions()));
  EXPECT_EQ(contents(destination), expected());
  EXPECT_EQ(testing::calls(Call::kRenameat2), 2u);

  // Regression: on a FAT volume read in another time zone the learned step grew to the
  // shift, so an older version of the same size put back into the source was never copied.
  // (Two hours: one hour apart on FAT is a daylight-saving shift.)
  const std::string file = tmp / ("src/" + name);
  writeFile(file, "older file", 0640);
  setTime(file, 1600000001 - 7200, 123456789);
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", destination, testing::testOptions()));
  EXPECT_EQ(contents(destination), expected());

  // Regression: the FAT driver gives a file renamed over another the present time, so
  // every file copied again was written again on every later run.
  testing::resetCalls();
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", destination, testing::testOptions()));
  EXPECT_EQ(writes(), 0u) << "files copied again lost their times";
}

INSTANTIATE_TEST_SUITE_P(FatAndExfat, VolumeCopy,
                         ::testing::Values(FuseVolume::Kind::kFat32, FuseVolume::Kind::kExfat,
                                           FuseVolume::Kind::kFat32InTokyo,
                                           // A decomposed name that a share stores composed
                                           // refused as a clash, or written on every run.
                                           FuseVolume::Kind::kNormalizing),
                         [](const auto& param) -> std::string {
                           switch (param.param) {
                             case FuseVolume::Kind::kFat32: return "Fat32";
                             case FuseVolume::Kind::kExfat: return "Exfat";
                             case FuseVolume::Kind::kNormalizing: return "NormalizingShare";
                             default: return "Fat32ReadInTokyo";
                           }
                         });

int copyNumber(const std::string& source, const std::string& destination, std::string* path) {
  try {
    copy::copyFolderOrThrow(source, destination, testing::testOptions());
  } catch (const RuntimeError& e) {
    *path = e.path;
    return e.number;
  }
  return 0;
}

TEST(FatVolume, RefusedNamesEndInTheGenericBranchNamingThem) {
  // Regression: the FAT driver answers EPERM for names it refuses, which became 70 and a
  // Retry box that could never help.
  TempDir tmp;
  FuseVolume volume(FuseVolume::Kind::kFat32, tmp.path(), 64);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  const struct {
    const char* name;
    bool folder;
    int number;
  } cases[] = {
      {"a:b.txt", false, err::kBadFileName},    {"what?.txt", false, err::kBadFileName},
      {"日本語.txt", false, err::kBadFileName}, {"pipe|name", true, err::kBadFileName},
      {"star*", true, err::kBadFileName},
  };
  int run = 0;
  for (const auto& c : cases) {
    const std::string source = tmp / ("src" + std::to_string(run));
    ::mkdir(source.c_str(), 0755);
    writeFile(source + "/fine.txt", "fine");
    if (c.folder) {
      ::mkdir((source + "/" + c.name).c_str(), 0755);
    } else {
      writeFile(source + "/" + c.name, "refused");
    }
    const std::string destination = volume.mountPoint() + "/dst" + std::to_string(run++);
    std::string path;
    EXPECT_EQ(copyNumber(source, destination, &path), c.number) << c.name;
    EXPECT_EQ(path, destination + "/" + c.name);
  }
}

// Large files went side by side onto FUSE volumes, whose drivers serve one request after
// the other, which made their read-back many times slower; memory was no such medium.
TEST(VolumeMedium, FuseVolumesAndMemoryAreToldApart) {
  TempDir tmp;
  ::mkdir((tmp / "exfat").c_str(), 0755);
  ::mkdir((tmp / "lying").c_str(), 0755);
  FuseVolume exfat(FuseVolume::Kind::kExfat, tmp / "exfat", 16);
  FuseVolume lying(FuseVolume::Kind::kLying, tmp / "lying", 16);
  struct statfs shm {};
  const bool memory = ::statfs("/dev/shm", &shm) == 0 && shm.f_type == 0x01021994;  // tmpfs
  const struct {
    std::string folder;
    std::string skip;
    Medium medium;
  } cases[] = {
      {exfat.mountPoint(), exfat.skipReason(), Medium::Fuse},
      {lying.mountPoint(), lying.skipReason(), Medium::Fuse},
      {"/dev/shm", memory ? "" : "no tmpfs at /dev/shm", Medium::Solid},
  };
  for (const auto& c : cases) {
    if (!c.skip.empty()) continue;
    const UniqueFd folder(::open(c.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder.valid()) << c.folder;
    EXPECT_EQ(mediumOf(folder.get()), c.medium) << c.folder;
  }
}

}  // namespace
}  // namespace qm::posix
