// Tests of the settings store: the lookup through txtWinDir, the file's bytes, round trips.
#include <gtest/gtest.h>

#include <filesystem>

#include "errors.h"
#include "headless.h"
#include "settings.h"
#include "temp_folder.h"

namespace qm {
namespace {

using testing::readBytes;
using testing::TempFolder;

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1); }
  std::string path() { return settingsPath(txtWinDir, kSetupToolBufferWidth); }

  TempFolder dir;
  headless::HeadlessBackend ui{"QMS(QuillmarSetter)"};
  headless::HTextBox txtWinDir{ui};
};

TEST_F(SettingsStore, LookupLeavesTheBareDirectoryInTxtWinDir) {
  for (unsigned width : {kSetupToolBufferWidth, kCopyToolBufferWidth}) {
    EXPECT_EQ(lookupWindowsDirectory(txtWinDir, width), dir.path());
    EXPECT_EQ(txtWinDir.text(), dir.path());
    EXPECT_EQ(settingsPath(txtWinDir, width), dir.path() + "/Copy.Copy");
  }
}

TEST_F(SettingsStore, DirectoryWiderThanTheBufferLeavesItsSpaces) {
  const std::string deep = dir.path() + "/" + std::string(120, 'd');
  ::setenv("XDG_CONFIG_HOME", deep.c_str(), 1);
  EXPECT_EQ(lookupWindowsDirectory(txtWinDir, kSetupToolBufferWidth), deep);
  EXPECT_EQ(lookupWindowsDirectory(txtWinDir, kCopyToolBufferWidth), std::string(100, ' '));
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
    CopySettings back;
    readSettings(path(), back);
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

// Guards against a value the file cannot hold being written as a different job.
TEST_F(SettingsStore, RefusedValuesWriteNothing) {
  writeSettings(path(), {"old", "old", "old"});
  const std::string before = readBytes(dir / "Copy.Copy");
  const CopySettings refused[] = {
      {"C:\\a\"b", "D:", "x"}, {"C:\\a", "D:\r\nE:", "x"}, {"C:\\😀", "D:", "x"},
      {"C:\\a", "D:\\한", "x"}, {"C:\\a", "D:", "x\n"},
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

TEST_F(SettingsStore, ShortFileKeepsFieldsReadBeforeError62) {
  testing::writeBytes(dir / "Copy.Copy", "\"src\"\r\n\"dst\"\r\n");
  CopySettings job;
  try {
    readSettings(path(), job);
    FAIL() << "a two-record file read without error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPastEnd);
  }
  EXPECT_EQ(job.SourcePath, "src");
  EXPECT_EQ(job.DestinationPath, "dst");
  EXPECT_EQ(job.BaseName, "");
}

TEST_F(SettingsStore, MissingFileIsError53AndExistenceFollowsTheFile) {
  CopySettings job;
  try {
    readSettings(path(), job);
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
