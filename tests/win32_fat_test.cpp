// The Windows copy onto a FAT32 volume that Wine shows as a drive (tools/wine-fat-check
// names it in QM_FAT_DRIVE): a complete copy, a re-copy that writes nothing, and names the
// volume refuses.
#include <cstdlib>
#include <string>

#include "ui/filesystem.h"
#include "copy/progress.h"
#include "win32_fs_util.h"

namespace qm {
namespace {

using namespace qm::testing;

constexpr ULONGLONG kSecond = 10'000'000;

// Makes `path` a file of `size` bytes that holds no data (sparse where the host allows).
bool sparseFile(const std::string& path, LONGLONG size) {
  HANDLE h = CreateFileW(lp(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end;
  end.QuadPart = size;
  const bool made = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  return made;
}

class Win32Fat : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("QM_FAT_DRIVE");
    if (drive == nullptr || *drive == '\0')
      GTEST_SKIP() << "no FAT drive (run by tools/wine-fat-check)";
    root = freshRoot("qm-fat-");
    src = root + "\\Documents";
    // Right below the drive's root. Regression: there every copy failed with 76, naming
    // the drive: the root without its separator names the volume's device, not a folder.
    dst = std::string(drive) + "\\backup-" + std::to_string(GetCurrentProcessId());
    for (const char* d : {"", "\\sub", "\\sub\\deep", "\\void"})
      CreateDirectoryW(lp(src + d).c_str(), nullptr);
    put(src + "\\a.txt", "alpha");
    put(src + "\\empty", "");
    put(src + "\\big.bin", std::string(3 << 20, 'b'));
    put(src + "\\sub\\deep\\c.txt", "gamma");
    put(src + "\\ro.txt", "read only");
    // Times between the volume's 2-second steps, so that its rounding shows.
    ULONGLONG t = kOldTime + 12345671;
    for (const char* f : {"\\a.txt", "\\empty", "\\big.bin", "\\sub\\deep\\c.txt", "\\ro.txt"})
      setWriteTime(src + f, t += 3 * kSecond + 1);
    SetFileAttributesW(lp(src + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  }
  void TearDown() override {
    if (root.empty()) return;
    removeTree(root);
    removeTree(dst);
  }
  void copy() { createDiskFileSystemObject(&progress)->CopyFolder(src, dst, true); }
  std::string root, src, dst;
  CopyProgress progress;
};

TEST_F(Win32Fat, ACopyCompletesAndARecopyOfTheUnchangedTreeWritesNothing) {
  // Regression: metadata the volume refused (attributes) failed the copy at the first
  // file, and re-copies wrote every file again (2-second write times).
  copy();
  const auto copied = tree(dst);
  EXPECT_TRUE(copied == tree(src)) << "the copy differs from the source";
  EXPECT_EQ(progress.filesWritten.load(), 5u);
  // Within the 2-second step, once the shift of a driver in another time zone (whole
  // quarter hours) is taken off.
  constexpr LONGLONG kQuarterHour = 900 * static_cast<LONGLONG>(kSecond);
  for (const char* f : {"\\a.txt", "\\big.bin", "\\sub\\deep\\c.txt"}) {
    LONGLONG gap = static_cast<LONGLONG>(writeTimeOf(dst + f) - writeTimeOf(src + f));
    gap -= (gap + (gap < 0 ? -kQuarterHour : kQuarterHour) / 2) / kQuarterHour * kQuarterHour;
    EXPECT_LT(gap < 0 ? -gap : gap, static_cast<LONGLONG>(2 * kSecond)) << f;
  }
  progress.reset();
  copy();
  EXPECT_EQ(progress.filesWritten.load(), 0u) << "files of the unchanged tree were written again";
  EXPECT_EQ(progress.filesDone.load(), 5u);
  EXPECT_EQ(progress.bytesDone.load(), progress.bytesFound.load());
  EXPECT_TRUE(tree(dst) == copied);
  // A file that changed is copied again, and only that one.
  put(src + "\\a.txt", "alpha, longer");
  progress.reset();
  copy();
  EXPECT_EQ(progress.filesWritten.load(), 1u);
  EXPECT_EQ(tree(dst).at("a.txt"), "alpha, longer");
  // Regression: on a FAT volume read in another time zone (QM_FAT_TZ) every re-copy
  // wrote every file, or an older version of the same size was never copied again.
  // (Two hours: one hour apart on FAT is a daylight-saving shift.)
  put(src + "\\a.txt", "ALPHA, LONGER");
  setWriteTime(src + "\\a.txt", writeTimeOf(dst + "\\a.txt") - 7200 * kSecond);
  progress.reset();
  copy();
  EXPECT_EQ(progress.filesWritten.load(), 1u);
  EXPECT_EQ(tree(dst).at("a.txt"), "ALPHA, LONGER");
  // Copies an hour apart from their source. Set through the driver, the times read back
  // with its own shift, as the copy's do.
  const auto shiftCopies = [&] {
    for (const char* f : {"\\a.txt", "\\big.bin", "\\sub\\deep\\c.txt"})
      setWriteTime(dst + f, writeTimeOf(src + f) + 3600 * kSecond);
  };
  // The copy's record knows each copy's own stamp: one whose time moved since is not
  // taken for the copy it left, and is written again.
  shiftCopies();
  progress.reset();
  copy();
  EXPECT_EQ(progress.filesWritten.load(), 3u) << "a copy unlike its record was kept";
  // Regression: after a change to or from daylight saving time, every file was written
  // again: the times read back an hour apart. Where no record knows the files (a copy
  // made elsewhere), an hour apart is such a shift.
  ASSERT_TRUE(DeleteFileW(
      lp(dst.substr(0, 2) + "\\.backup-" + std::to_string(GetCurrentProcessId()) + ".sha256")
          .c_str()));
  shiftCopies();
  progress.reset();
  copy();
  EXPECT_EQ(progress.filesWritten.load(), 0u) << "an hour's shift was taken for a change";
}

// Regression: a tree larger than the drive was written until the drive was full, and then
// ended in the device box (70) whose Retry could never help.
TEST_F(Win32Fat, MoreThanTheDriveHoldsIsDiskFullAndLeavesNothingHalfWritten) {
  ASSERT_TRUE(sparseFile(src + "\\large.bin", LONGLONG{100} << 20));  // the drive holds 64 MiB
  EXPECT_EQ(errorOf([&] { copy(); }), err::kDiskFull);
  const std::vector<copy::Problem> failures = progress.report.failures();
  ASSERT_FALSE(failures.empty());
  EXPECT_EQ(failures[0].file, "large.bin") << failures[0].cause;
  EXPECT_EQ(failures[0].cause.empty(), false);
  for (const auto& [name, contents] : tree(dst))
    EXPECT_NE(name, "large.bin") << "a part of the file was left";
}

// A file FAT32 cannot hold: refused before writing where the drive says it is FAT32, else
// found full when it is written; either way 61, naming the file, and nothing of it stays.
TEST_F(Win32Fat, AFileOverFourGigabytesIs61AndNothingOfItStays) {
  ASSERT_TRUE(sparseFile(src + "\\disc.iso", LONGLONG{4} << 30));
  EXPECT_EQ(errorOf([&] { copy(); }), err::kDiskFull);
  const std::vector<copy::Problem> failures = progress.report.failures();
  ASSERT_FALSE(failures.empty());
  EXPECT_EQ(failures[0].file, "disc.iso");
  RecordProperty("cause", failures[0].cause);
  for (const auto& [name, none] : names(dst)) EXPECT_NE(name, "disc.iso");
}

TEST_F(Win32Fat, NamesTheVolumeRefusesAre52AndNameTheFile) {
  // Regression: the FUSE FAT driver answers a refused name with a permission error, which
  // reached the device box (70) whose Retry can never succeed.
  const struct {
    const char* name;
    bool folder;
  } cases[] = {{"日本語.txt", false}, {"フォルダ", true}};
  for (const auto& c : cases) {
    const std::string path = src + "\\" + c.name;
    if (c.folder) {
      CreateDirectoryW(lp(path).c_str(), nullptr);
    } else {
      put(path, "x");
    }
    try {
      copy();
      ADD_FAILURE() << "the volume took " << c.name;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kBadFileName) << c.name;
      EXPECT_NE(e.path.find(c.name), std::string::npos) << e.path;
    }
    if (c.folder) {
      RemoveDirectoryW(lp(path).c_str());
    } else {
      DeleteFileW(lp(path).c_str());
    }
  }
}

}  // namespace
}  // namespace qm
