// Tests of the platform layer's POSIX side: code page, Windows directory, files.
#include <gtest/gtest.h>

#include <filesystem>

#include "errors.h"
#include "odd_files.h"
#include "os/codepage.h"
#include "os/textfile.h"
#include "os/windir.h"
#include "temp_folder.h"

namespace qm {
namespace {

using testing::TempFolder;

TEST(CodePage, ConvertsJapaneseToShiftJisAndBack) {
  const std::string utf8 = "C:\\データ\\元､ー～";
  const std::string ansi = toAnsi(utf8, "f");
  EXPECT_EQ(ansi.substr(0, 5), "C:\\\x83\x66");  // デ is 0x83 0x66 in code page 932
  EXPECT_EQ(fromAnsi(ansi, "f"), utf8);
  EXPECT_EQ(toAnsi("plain ascii", "f"), "plain ascii");
}

TEST(CodePage, RefusesCharactersOutsideTheCodePage) {
  for (const char* bad : {"😀", "한국", "é", "\u00A0"}) {
    EXPECT_THROW(toAnsi(std::string("C:\\") + bad, "f"), RuntimeError) << bad;
  }
}

TEST(CodePage, InvalidBytesFailTheRead) {
  EXPECT_THROW(fromAnsi("\x81", "f"), RuntimeError);  // a lead byte without its trail byte
}
class ConfigFolder : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1); }
  TempFolder dir;
};

TEST_F(ConfigFolder, WindowsDirectoryIsTheConfigFolderWhenItFits) {
  std::string buffer(100, ' ');
  EXPECT_EQ(getWindowsDirectoryA(buffer.data(), 100), dir.path().size());
  EXPECT_EQ(buffer.substr(0, buffer.find('\0')), dir.path());
}

TEST_F(ConfigFolder, TooSmallBufferIsLeftUntouched) {
  std::string buffer(5, ' ');
  EXPECT_EQ(getWindowsDirectoryA(buffer.data(), 5), dir.path().size() + 1);
  EXPECT_EQ(buffer, "     ");
}

TEST_F(ConfigFolder, RelativeXdgFallsBackToHomeConfig) {
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  ::setenv("HOME", dir.path().c_str(), 1);
  std::string buffer(255, ' ');
  getWindowsDirectoryA(buffer.data(), 255);
  EXPECT_EQ(buffer.substr(0, buffer.find('\0')), dir.path() + "/.config");
}

TEST_F(ConfigFolder, AtomicReplaceWritesAndReplaces) {
  const std::string file = dir / "f.txt";
  replaceFileAtomically(file, "one");
  replaceFileAtomically(file, "two");
  EXPECT_EQ(readWholeFile(file), "two");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Guards against a failed save destroying the file it was meant to replace.
TEST_F(ConfigFolder, FailedReplaceLeavesTheOldFileAndNoTemporary) {
  const std::string file = dir / "f.txt";
  replaceFileAtomically(file, "old");
  std::filesystem::create_directory(dir / "blocker");
  EXPECT_THROW(replaceFileAtomically(dir / "blocker", "new"), RuntimeError);
  EXPECT_EQ(readWholeFile(file), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(ConfigFolder, MissingFoldersAreCreatedOnWrite) {
  replaceFileAtomically(dir / "a/b/f.txt", "x");
  EXPECT_EQ(readWholeFile(dir / "a/b/f.txt"), "x");
}

// Guards against a read that blocks on a FIFO or fills memory from a device or a huge file.
TEST_F(ConfigFolder, OnlyPlainFilesUpTo64KiBAreRead) {
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::filesystem::create_symlink(fifo, dir / "link-to-fifo");
  std::filesystem::create_directory(dir / "folder");
  testing::writeBytes(dir / "64KiB", std::string(64 * 1024, 'x'));
  testing::writeBytes(dir / "64KiB+1", std::string(64 * 1024 + 1, 'x'));
  testing::writeBytes(dir / "8MB", std::string(8 << 20, 'x'));
  testing::HangGuard guard;
  for (const std::string& odd : {fifo, dir / "link-to-fifo", std::string("/dev/zero"),
                                 dir / "folder", dir / "64KiB+1", dir / "8MB"}) {
    try {
      readWholeFile(odd);
      ADD_FAILURE() << odd << " was read";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kPathFileAccess) << odd;
      EXPECT_EQ(e.path, odd);
    }
  }
  EXPECT_EQ(readWholeFile(dir / "64KiB").size(), 64u * 1024);
}

TEST_F(ConfigFolder, ReadErrorsCarryTheirNumbers) {
  testing::writeBytes(dir / "file", "x");
  struct Case {
    std::string path;
    int number;
  };
  for (const Case& c :
       {Case{dir / "missing", err::kFileNotFound}, Case{dir / "nodir/missing", err::kFileNotFound},
        Case{dir / "file/below", err::kPathNotFound}}) {
    try {
      readWholeFile(c.path);
      ADD_FAILURE() << c.path;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, c.number) << c.path;
      EXPECT_EQ(e.path, c.path);
    }
  }
}

}  // namespace
}  // namespace qm
