// The copy's record on real volumes: checked by the system's own `sha256sum -c`, with no
// program of ours, and deciding what is unchanged on a disk and on sticks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "copy/progress.h"
#include "copy/report.h"
#include "copy/record.h"
#include "copy/run_record.h"
#include "fs_fuse_volume.h"
#include "fs_test_util.h"
#include "os/digest.h"

namespace qm::posix {
namespace {

using testing::copyNumber;
using testing::FuseVolume;
using testing::Made;
using testing::make;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// What `sha256sum -c` says of the record in `folder`: its exit status.
int checkWithSha256sum(const std::string& folder, const std::string& record) {
  const std::string command =
      "cd '" + folder + "' && sha256sum --quiet --strict -c '" + record + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The record's writer gathers small pieces and passes large ones (the old record's lines)
// straight on: whatever their mix, the file holds them in the order they were produced.
TEST(CopyRecordOnDisk, PiecesOfAnySizeReachTheFileInOrder) {
  constexpr std::size_t kSmall = 100, kLarge = 70'000, kNearlyAll = (1 << 20) - 50;
  std::vector<std::size_t> manySmall(12'000, kSmall);  // more than the buffer holds
  manySmall.push_back(kLarge);
  const std::vector<std::vector<std::size_t>> cases = {
      manySmall,
      {},
      {kSmall},
      {kSmall, kLarge, kSmall},
      {kLarge, kLarge},
      {kSmall, kSmall, kLarge, kLarge, kSmall, kSmall},
      {kNearlyAll, kSmall, kSmall, kLarge},  // the buffer fills between the pieces
      {kSmall, kNearlyAll, kSmall},
  };
  TempDir dir;
  for (const auto& sizes : cases) {
    std::string expected;
    char letter = 'a';
    for (const std::size_t size : sizes) expected.append(size, letter++);
    copy::writeRecordFile(dir / ".top.sha256", [&](const copy::LineSink& out) {
      std::size_t from = 0;
      for (const std::size_t size : sizes) {
        out(std::string_view(expected).substr(from, size));
        from += size;
      }
    });
    EXPECT_EQ(readFile(dir / ".top.sha256"), expected) << sizes.size() << " pieces";
  }
}

TEST(CopyRecordOnDisk, Sha256sumChecksTheCopyAndFindsAChangedByte) {
  TempDir tmp;
  const std::vector<Made> files{{"写真/"},           {"写真/夏.jpg", std::string(100000, 'j')},
                                {"a b.txt", "text"}, {"back\\slash", "b"},
                                {"line\nend", "n"},  {"empty", ""}};
  make(tmp / "dst/top", files);
  std::string record = copy::headerLines({{"/src", tmp / "dst/top", "pc", "top"}, 1, 2, 0, "", {}});
  for (const Made& m : files) {
    if (m.name.ends_with('/')) continue;
    Sha256 hash;
    const std::string bytes = readFile(tmp / "dst/top/" + m.name);
    hash.add(bytes.data(), bytes.size());
    record += copy::fileLines({m.name, {}, {}, hash.hex(), 1}, "top");
  }
  writeFile(tmp / "dst/.top.sha256", record);
  EXPECT_EQ(checkWithSha256sum(tmp / "dst", ".top.sha256"), 0);
  const struct {
    const char* file;
    const char* contents;
  } changes[] = {{"写真/夏.jpg", "other bytes"}, {"line\nend", "m"}, {"empty", "x"}};
  for (const auto& c : changes) {
    const std::string before = readFile(tmp / "dst/top/" + c.file);
    writeFile(tmp / "dst/top/" + c.file, c.contents);
    EXPECT_EQ(checkWithSha256sum(tmp / "dst", ".top.sha256"), 1) << c.file;
    writeFile(tmp / "dst/top/" + c.file, before);
  }
}

// Regression: changes that keep a file's size and modification time were taken for
// unchanged, and the run ended in 0 with other bytes in the copy than in the source: a
// source rewritten with its time put back, one changed exactly an hour later (on FAT,
// taken for a shift of summer time), and a copy another tool replaced keeping both (on a
// stick, whose files have no lasting numbers, found by reading old copies back).
TEST(CopyRecordOnDisk, ChangesThatKeepTheSizeAndTimeAreCopiedAgain) {
  const std::string a(100, 'a'), b(100, 'b'), c(100, 'c');
  const struct {
    const char* file;
    void (*change)(const std::string& source, const std::string& copy);
    std::string after;
  } cases[] = {
      {"put-back.txt",
       [](const std::string& source, const std::string&) {
         const struct stat old = testing::statOf(source);
         writeFile(source, std::string(100, 'A'));
         testing::setTime(source, old.st_mtim.tv_sec, old.st_mtim.tv_nsec);
       },
       std::string(100, 'A')},
      {"hour-later.txt",
       [](const std::string& source, const std::string&) {
         const struct stat old = testing::statOf(source);
         writeFile(source, std::string(100, 'B'));
         testing::setTime(source, old.st_mtim.tv_sec + 3600, old.st_mtim.tv_nsec);
       },
       std::string(100, 'B')},
      {"replaced.txt",
       [](const std::string&, const std::string& copy) {
         const struct stat old = testing::statOf(copy);
         writeFile(copy + ".new", std::string(100, 'C'));
         ASSERT_EQ(::rename((copy + ".new").c_str(), copy.c_str()), 0);
         testing::setTime(copy, old.st_mtim.tv_sec, old.st_mtim.tv_nsec);
       },
       c},
  };
  // The disk first: a machine without FUSE volumes still runs it there.
  const std::optional<FuseVolume::Kind> volumes[] = {std::nullopt, FuseVolume::Kind::kFat32,
                                                     FuseVolume::Kind::kExfat};
  for (const auto& kind : volumes) {
    SCOPED_TRACE(::testing::Message() << "volume " << (kind ? int(*kind) : -1));
    TempDir tmp;
    make(tmp / "src",
         {{"put-back.txt", a}, {"hour-later.txt", b}, {"replaced.txt", c}, {"same.txt", "s"}});
    make(tmp / "dst", {});
    std::optional<FuseVolume> volume;
    if (kind) {
      volume.emplace(*kind, tmp.path(), 64);
      if (!volume->skipReason().empty()) GTEST_SKIP() << volume->skipReason();
    }
    const std::string destination = (volume ? volume->mountPoint() : tmp / "dst") + "/backup";
    CopyProgress progress;
    CopyOptions options = testing::testOptions();
    options.progress = &progress;
    options.oldCopies = OldCopies::All;
    ASSERT_EQ(copyNumber(tmp / "src", destination, options), 0);
    for (const auto& x : cases) x.change(tmp / "src/" + x.file, destination + "/" + x.file);
    ASSERT_EQ(copyNumber(tmp / "src", destination, options), 0);
    for (const auto& x : cases) EXPECT_EQ(readFile(destination + "/" + x.file), x.after) << x.file;
    EXPECT_EQ(progress.filesWritten.load(), std::size(cases)) << "an unchanged file was written";
  }
}

// Regression: the copy's stamps held the numbers that FAT, exFAT and FUSE drivers give
// files as they meet them, so once a stick was plugged in again every file looked
// replaced and was written again.
TEST(CopyRecordOnSticks, AStickPluggedInAgainKeepsItsUnchangedFiles) {
  for (const auto kind : {FuseVolume::Kind::kExfat, FuseVolume::Kind::kFat32}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TempDir tmp;
    make(tmp / "src", {{"sub/"}, {"sub/a.txt", "a"}, {"b.txt", std::string(5000, 'b')}});
    FuseVolume volume(kind, tmp.path(), 64);
    if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
    const std::string destination = volume.mountPoint() + "/backup";
    CopyProgress progress;
    CopyOptions options = testing::testOptions();
    options.progress = &progress;
    options.oldCopies = OldCopies::None;
    ASSERT_EQ(copyNumber(tmp / "src", destination, options), 0);
    volume.vanish();
    ASSERT_TRUE(volume.remount());
    // Another program looks at the stick first: its driver numbers files in another order.
    for (const char* path : {"/b.txt", "/sub/a.txt", "/sub", ""})
      testing::statOf(destination + path);
    ASSERT_EQ(copyNumber(tmp / "src", destination, options), 0);
    EXPECT_EQ(progress.filesWritten.load(), 0u);
    EXPECT_EQ(progress.filesChecked.load(), 0u);
  }
}

// Changes the first byte of `marker` where the volume's device stores it, behind the back
// of the file system: its entries, times and numbers stay as they were. Only the marker's
// first bytes are looked for: they lie in the file's first cluster, while the rest may lie
// in clusters apart, where the workers wrote files side by side.
bool damageOnDevice(const std::string& store, const std::string& marker) {
  const std::string bytes = readFile(store);
  const std::size_t at = bytes.find(marker.substr(0, 32));
  if (at == std::string::npos) return false;
  const int fd = ::open(store.c_str(), O_WRONLY);
  const char other = static_cast<char>(marker[0] ^ 0x20);
  const bool done =
      fd >= 0 && ::pwrite(fd, &other, 1, static_cast<off_t>(at)) == 1 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return done;
}

// Regression: a copy on a stick damaged after a run had read it back looked unchanged to
// every later run, which ended in 0 with other bytes in the copy than in the source.
TEST(CopyRecordOnSticks, ACopyTheStickDamagedIsFoundNamedAndWrittenAgain) {
  const std::string marker = "stick-marker:" + std::string(8000, 'm');
  for (const auto kind : {FuseVolume::Kind::kExfat, FuseVolume::Kind::kFat32}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TempDir tmp;
    make(tmp / "src", {{"sub/"}, {"sub/photo.jpg", marker}, {"same.txt", "s"}});
    FuseVolume volume(kind, tmp.path(), 64);
    if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
    const std::string destination = volume.mountPoint() + "/backup";
    CopyOptions options = testing::testOptions();
    options.oldCopies = OldCopies::All;
    ASSERT_EQ(copyNumber(tmp / "src", destination, options), 0);
    ASSERT_TRUE(damageOnDevice(volume.store(), marker));
    const struct {
      const char* run;
      std::vector<copy::Problem> repaired;
      std::uint64_t written;
    } runs[] = {{"after the damage", {{"sub/photo.jpg", copy::repairedCause()}}, 1},
                {"once repaired", {}, 0}};
    for (const auto& run : runs) {
      CopyProgress progress;
      options.progress = &progress;
      EXPECT_EQ(copyNumber(tmp / "src", destination, options), 0) << run.run;
      EXPECT_EQ(progress.report.repaired(), run.repaired) << run.run;
      EXPECT_EQ(progress.filesWritten.load(), run.written) << run.run;
      EXPECT_EQ(progress.filesChecked.load(), 2 + run.written) << run.run;
      EXPECT_EQ(readFile(destination + "/sub/photo.jpg"), marker) << run.run;
    }
  }
}

}  // namespace
}  // namespace qm::posix
