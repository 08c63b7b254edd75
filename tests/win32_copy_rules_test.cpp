// The Windows copy's rules for unchanged files (time steps by volume, change times) and
// its progress counters.
#include <string>

#include "ui/filesystem.h"
#include "copy/progress.h"
#include "copy/win32/volume.h"
#include "win32_fs_util.h"

namespace qm {
namespace {

using namespace qm::testing;
using win32::Entry;
using win32::VolumeRules;

constexpr win32::Ticks kSecond = 10'000'000;

TEST(Win32VolumeRules, FileSystemNamesGiveTheirStepsAndChangeTimes) {
  EXPECT_EQ(win32::rulesForFileSystem(L"FAT32").times.stepNs, 2'000'000'000);
  EXPECT_EQ(win32::rulesForFileSystem(L"exFAT").times.stepNs, 10'000'000);
  EXPECT_TRUE(win32::rulesForFileSystem(L"NTFS").keepsChangeTime);
  EXPECT_TRUE(win32::rulesForFileSystem(L"ReFS").keepsChangeTime);
  EXPECT_FALSE(win32::rulesForFileSystem(L"exFAT").keepsChangeTime);
  EXPECT_FALSE(win32::rulesForFileSystem(L"cifs").keepsChangeTime);
}

TEST(Win32VolumeRules, UnchangedOnlyWithinTheVolumesStepAndWhereACopySetTheTime) {
  // Regression: re-copies onto FAT volumes rewrote every file (2-second write times), and
  // a destination written by hand in the same instant as its source was kept.
  const win32::Ticks kBase = 132'000'000'000'000'000ULL;  // 2019, on every step's grid
  const VolumeRules ntfs{{100, 0, true}, true, true}, fat{{2'000'000'000, 0, true}, false, true},
      fuseFat{{2'000'000'000, 0, true}, false, false}, forgetful{{1, 0, false}, false, true};
  const Entry source{L"a", FILE_ATTRIBUTE_ARCHIVE, 100, 0, 0, kBase + 500 * kSecond + 3, 0};
  auto old = [&](win32::Ticks written, win32::Ticks changed,
                 DWORD attributes = FILE_ATTRIBUTE_ARCHIVE, std::uint64_t size = 100) {
    return Entry{L"a", attributes, size, 0, 0, written, changed};
  };
  const win32::Ticks copied = kBase + 900 * kSecond;  // when a copy set the time
  const struct {
    const char* label;
    Entry destination;
    VolumeRules rules;
    bool unchanged;
  } cases[] = {
      {"NTFS, exact time set by a copy", old(source.written, copied), ntfs, true},
      {"NTFS, one tick apart", old(source.written + 1, copied), ntfs, false},
      {"NTFS, time written by hand", old(source.written, source.written), ntfs, false},
      {"NTFS, no change time told", old(source.written, 0), ntfs, true},
      {"NTFS, other size", old(source.written, copied, FILE_ATTRIBUTE_ARCHIVE, 99), ntfs, false},
      {"NTFS, other read-only attribute", old(source.written, copied, FILE_ATTRIBUTE_READONLY),
       ntfs, false},
      {"FAT, truncated to 2 s", old(kBase + 500 * kSecond, kBase + 500 * kSecond), fat, true},
      {"FAT, rounded up to 2 s", old(kBase + 502 * kSecond, kBase + 502 * kSecond), fat, true},
      {"FAT, 2 s apart", old(source.written + 2 * kSecond, 0), fat, false},
      {"FAT, other read-only attribute", old(kBase + 500 * kSecond, 0, FILE_ATTRIBUTE_READONLY),
       fat, false},
      {"FAT without attributes, other read-only attribute",
       old(kBase + 500 * kSecond, 0, FILE_ATTRIBUTE_READONLY), fuseFat, true},
      {"a volume that keeps no set time", old(source.written, copied), forgetful, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(win32::isUnchanged(source, c.destination, c.rules), c.unchanged) << c.label;
  // Times before 1678 do not fit the rules' nanoseconds: never taken as equal.
  const Entry ancient{L"a", FILE_ATTRIBUTE_ARCHIVE, 100, 0, 0, 3, 0};
  EXPECT_FALSE(win32::isUnchanged(ancient, old(5, 0), fat));
}

TEST(Win32VolumeRules, TheProbeReadsWhatTheVolumeKeeps) {
  const std::string root = freshRoot("qm-probe-");
  HANDLE h = CreateFileW(lp(root).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const VolumeRules rules = win32::probeVolume(h, lp(root));
  CloseHandle(h);
  // The temporary disk (NTFS, or a Unix file system under Wine) keeps times to the tick
  // or the microsecond, change times and the read-only attribute; the probe is gone.
  EXPECT_GE(rules.times.stepNs, 1);
  EXPECT_LE(rules.times.stepNs, 1000);
  EXPECT_EQ(rules.times.offsetNs, 0);
  EXPECT_TRUE(rules.keepsChangeTime);
  EXPECT_TRUE(rules.keepsReadOnly);
  EXPECT_EQ(tree(root), (std::map<std::string, std::string>{}));
  removeTree(root);
}

class Win32CopyRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    root = freshRoot("qm-rules-");
    src = root + "\\元";
    dst = root + "\\先";
    for (const char* d : {"", "\\下", "\\下\\空", "\\下\\深"})
      CreateDirectoryW(lp(src + d).c_str(), nullptr);
    put(src + "\\a.txt", "AAAA");
    put(src + "\\empty", "");
    put(src + "\\下\\b.bin", std::string(3 << 20, 'b'));
    put(src + "\\下\\深\\c", "C");
  }
  void TearDown() override { removeTree(root); }
  void copy() { createDiskFileSystemObject(&progress)->CopyFolder(src, dst, true); }
  void expectTotals(std::uint64_t files, std::uint64_t bytes) {
    EXPECT_TRUE(progress.walkDone.load());
    EXPECT_EQ(progress.filesFound.load(), files);
    EXPECT_EQ(progress.filesDone.load(), files);
    EXPECT_EQ(progress.bytesFound.load(), bytes);
    EXPECT_EQ(progress.bytesDone.load(), bytes);
  }
  std::string root, src, dst;
  CopyProgress progress;
};

TEST_F(Win32CopyRuns, ProgressReachesTheTrueTotalsWithEmptyAndUnchangedFiles) {
  // Regression: the Windows engine left every counter at zero.
  const std::uint64_t bytes = 4 + 0 + (3 << 20) + 1;
  copy();
  expectTotals(4, bytes);
  progress.reset();
  copy();  // everything unchanged: counted as done with its whole size
  expectTotals(4, bytes);
  progress.reset();
  put(src + "\\a.txt", "AAAAAA");
  copy();  // one file copied again, three left
  expectTotals(4, bytes + 2);
}

TEST_F(Win32CopyRuns, AnUnchangedTreeIsNotWrittenAgain) {
  copy();
  const ULONGLONG before = fileIndexOf(dst + "\\下\\b.bin");
  const ULONGLONG written = writeTimeOf(dst + "\\下\\b.bin");
  progress.reset();
  copy();
  EXPECT_EQ(progress.filesWritten.load(), 0u);
  // A rewrite renames a new file into place, which has a new index.
  EXPECT_EQ(fileIndexOf(dst + "\\下\\b.bin"), before);
  EXPECT_EQ(writeTimeOf(dst + "\\下\\b.bin"), written);
}

TEST_F(Win32CopyRuns, ADestinationWrittenByHandWithTheSourcesTimeIsCopiedAgain) {
  // Regression: a destination file changed by hand in the same instant as its source kept
  // its bytes, since size and write time matched.
  copy();
  SetFileAttributesW(lp(dst + "\\a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  put(dst + "\\a.txt", "ZZZZ");
  // The source gets the write time the hand-written file has, so that only the change
  // time tells them apart.
  setWriteTime(src + "\\a.txt", writeTimeOf(dst + "\\a.txt"));
  copy();
  EXPECT_EQ(tree(dst).at("a.txt"), "AAAA");
}

}  // namespace
}  // namespace qm
