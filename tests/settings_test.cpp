// Tests of the settings store: the Windows-directory lookup, the file's bytes, round trips.
#include <gtest/gtest.h>

#include <filesystem>

#include "errors.h"
#include "odd_files.h"
#include "settings.h"
#include "settings_golden.h"
#include "temp_folder.h"

namespace qm {
namespace {

using testing::HangGuard;
using testing::OddFile;
using testing::readBytes;
using testing::TempFolder;

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1); }
  std::string path() { return settingsPath(lookupWindowsDirectory(kSetupToolBufferWidth)); }

  TempFolder dir;
};

TEST_F(SettingsStore, LookupGivesTheBareDirectory) {
  for (unsigned width : {kSetupToolBufferWidth, kCopyToolBufferWidth}) {
    EXPECT_EQ(lookupWindowsDirectory(width), dir.path());
    EXPECT_EQ(settingsPath(lookupWindowsDirectory(width)), dir.path() + "/Copy.Copy");
  }
}

// Guards against the copy tool missing a Copy.Copy that the setup tool saved in a
// configuration folder longer than the copy tool's classic 100-character buffer.
TEST_F(SettingsStore, EveryWindowFindsALongConfigFolder) {
  const std::string deep = dir.path() + "/" + std::string(150, 'd') + "/" + std::string(120, 'e');
  ::setenv("XDG_CONFIG_HOME", deep.c_str(), 1);
  EXPECT_EQ(lookupWindowsDirectory(kSetupToolBufferWidth), deep);
  EXPECT_EQ(lookupWindowsDirectory(kCopyToolBufferWidth), deep);
}

TEST_F(SettingsStore, DirectoryLongerThanAnyPathLeavesTheBuffersSpaces) {
  const std::string endless = "/" + std::string(5000, 'd');
  ::setenv("XDG_CONFIG_HOME", endless.c_str(), 1);
  for (unsigned width : {kSetupToolBufferWidth, kCopyToolBufferWidth}) {
    const std::string spaces = lookupWindowsDirectory(width);
    EXPECT_GE(spaces.size(), width);
    EXPECT_EQ(spaces.find_first_not_of(' '), std::string::npos);
  }
}

TEST_F(SettingsStore, WritesThreeQuotedRecordsInCodePage932) {
  writeSettings(path(), {"C:\\データ\\元", "D:\\バックアップ\\", ""});
  EXPECT_EQ(readBytes(dir / "Copy.Copy"),
            "\"C:\\\x83\x66\x81\x5B\x83\x5E\\\x8C\xB3\"\r\n"
            "\"D:\\\x83\x6F\x83\x62\x83\x4E\x83\x41\x83\x62\x83\x76\\\"\r\n"
            "\"\"\r\n");
}

TEST_F(SettingsStore, ValuesSurviveAWriteAndARead) {
  const CopySettings cases[] = {
      {"C:\\a,b", "D:\\", "a,b"},
      {"/home/u/プロジェクト.v2", "/media/usb/", "プロジェクト"},
      {" ", "  x  ", ""},
  };
  for (const CopySettings& job : cases) {
    writeSettings(path(), job);
    const CopySettings back = readSettings(path());
    EXPECT_EQ(back.SourcePath, job.SourcePath);
    EXPECT_EQ(back.DestinationPath, job.DestinationPath);
    EXPECT_EQ(back.BaseName, job.BaseName);
  }
}

TEST_F(SettingsStore, TwoWritesLeaveOnlyTheSecond) {
  writeSettings(path(), {"C:\\first\\long\\path", "D:\\first", "path"});
  writeSettings(path(), {"C:\\b", "E:", "b"});
  EXPECT_EQ(readBytes(dir / "Copy.Copy"), "\"C:\\b\"\r\n\"E:\"\r\n\"b\"\r\n");
}

// Guards against a job with a folder named in another script being refused.
TEST_F(SettingsStore, AJobOutsideCodePage932IsWrittenAsUtf8AfterAByteOrderMark) {
  const CopySettings job{"/home/u/Café/한국어/📷", "/media/usb/バックアップ", "📷"};
  writeSettings(path(), job);
  EXPECT_EQ(readBytes(dir / "Copy.Copy"), testing::kUtf8Job);
  const CopySettings back = readSettings(path());
  EXPECT_EQ(back.SourcePath, job.SourcePath);
  EXPECT_EQ(back.DestinationPath, job.DestinationPath);
  EXPECT_EQ(back.BaseName, job.BaseName);
}

TEST_F(SettingsStore, FilesAfterAByteOrderMarkAreReadAsUtf8) {
  struct Case {
    std::string bytes;
    std::string source;  // empty: the read fails as for a damaged file
  };
  const Case cases[] = {
      {testing::kUtf8Job, "/home/u/Café/한국어/📷"},
      {"\xEF\xBB\xBF\"/データ\"\r\n\"/b\"\r\n\"c\"\r\n", "/データ"},
      {"\xEF\xBB\xBF/unquoted é\n/b\nc", "/unquoted é"},
      {"\xEF\xBB\xBF\"/caf\xE9\"\r\n\"/b\"\r\n\"c\"\r\n", ""},   // Latin-1, not UTF-8
      {"\xEF\xBB\xBF\"/\x83\x66\"\r\n\"/b\"\r\n\"c\"\r\n", ""},  // code page 932 bytes
  };
  for (const Case& c : cases) {
    testing::writeBytes(dir / "Copy.Copy", c.bytes);
    try {
      EXPECT_EQ(readSettings(path()).SourcePath, c.source);
    } catch (const RuntimeError& e) {
      EXPECT_EQ(c.source, "") << "read failed: " << e.number;
      EXPECT_EQ(e.number, err::kPathFileAccess);
    }
  }
}

// Guards against a value the file cannot hold being written as a different job.
TEST_F(SettingsStore, RefusedValuesWriteNothing) {
  writeSettings(path(), {"old", "old", "old"});
  const std::string before = readBytes(dir / "Copy.Copy");
  const CopySettings refused[] = {
      {"C:\\a\"b", "D:", "x"},    {"C:\\a", "D:\r\nE:", "x"}, {"C:\\😀\"", "D:", "x"},
      {"C:\\a", "D:\\한\n", "x"}, {"C:\\a", "D:", "x\n"},     {"/caf\xE9", "D:", "x"},
  };
  for (const CopySettings& job : refused) {
    try {
      writeSettings(path(), job);
      ADD_FAILURE() << job.SourcePath << job.DestinationPath;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kInvalidCall);
      EXPECT_EQ(e.path, dir / "Copy.Copy");
    }
    EXPECT_EQ(readBytes(dir / "Copy.Copy"), before);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Guards against a failed save truncating the stored job.
TEST_F(SettingsStore, FailedWriteLeavesTheOldFile) {
  writeSettings(path(), {"a", "b", "c"});
  const std::string before = readBytes(dir / "Copy.Copy");
  EXPECT_THROW(writeSettings(dir / "Copy.Copy/inside", {"x", "y", "z"}), RuntimeError);
  EXPECT_EQ(readBytes(dir / "Copy.Copy"), before);
}

TEST_F(SettingsStore, ShortFileIsError62) {
  testing::writeBytes(dir / "Copy.Copy", "\"src\"\r\n\"dst\"\r\n");
  try {
    readSettings(path());
    FAIL() << "a two-record file read without error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPastEnd);
  }
}

// Guards against a Copy.Copy that is not a plain job hanging the read, exhausting memory,
// or handing on a path that the copy would cut at a NUL.
TEST_F(SettingsStore, OddFilesFailTheReadAsADamagedFileDoes) {
  int n = 0;
  for (const OddFile& odd : testing::oddSettingsFiles()) {
    SCOPED_TRACE(odd.what);
    const std::string config = dir / std::to_string(n++);
    std::filesystem::create_directory(config);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    odd.make(config + "/Copy.Copy");
    HangGuard guard;
    try {
      readSettings(path());
      ADD_FAILURE() << "read without error";
    } catch (const RuntimeError& e) {
      EXPECT_NE(e.number, err::kFileNotFound);
      EXPECT_EQ(e.path, config + "/Copy.Copy");
    }
  }
}

TEST_F(SettingsStore, MissingFileIsError53AndExistenceFollowsTheFile) {
  try {
    readSettings(path());
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kFileNotFound);
  }
  EXPECT_FALSE(settingsFileExists(path()));
  writeSettings(path(), {"a", "b", "c"});
  EXPECT_TRUE(settingsFileExists(path()));
}

TEST_F(SettingsStore, FreshAccountWithoutConfigFolderCanSave) {
  const std::string fresh = dir / "home/.config";
  ::setenv("XDG_CONFIG_HOME", fresh.c_str(), 1);
  writeSettings(path(), {"a", "b", "c"});
  EXPECT_EQ(readBytes(fresh + "/Copy.Copy"), "\"a\"\r\n\"b\"\r\n\"c\"\r\n");
}

}  // namespace
}  // namespace qm
