// Tests of the copy tool's window on the headless backend.
#include <gtest/gtest.h>

#include "copytool_fixture.h"
#include "odd_files.h"

namespace qm {
namespace {

using testing::CopyTool;
using testing::HForm;

constexpr const char* kMissingFile =
    "『Copy.Copy』が見つかりません。≪QMS(QuillmarSetter.exe)≫で、コピー元と､コピー先を､"
    "設定してから､再度実行してください。  ";
constexpr const char* kReady = "上記のように、コピーを開始します。";

TEST_F(CopyTool, StartUpShowsTheStoredJob) {
  storeJob();
  HForm& f = start();
  EXPECT_TRUE(f.shown());
  EXPECT_EQ(caption("lblCopy1"), "/src/プロジェクト.v2");
  EXPECT_EQ(caption("lblCopy2"), "/mnt/backup");
  EXPECT_EQ(caption("Label3"), kReady);
  EXPECT_EQ(window.DestinationPath, "/mnt/backup/プロジェクト");
  EXPECT_EQ(f.text("txtWinDir").text(), dir.path());
  EXPECT_EQ(f.focused(), "cmdCopy");
  // A path that runs past the window's edge can be read whole: its label's tooltip holds
  // it after the designed text.
  const std::pair<const char*, const char*> tips[] = {
      {"lblCopy1", "今からコピーするコピー元のパス名です。\n/src/プロジェクト.v2"},
      {"lblCopy2", "今からコピーするコピー先のパス名です。\n/mnt/backup"},
      {"Label3", ""}};
  for (const auto& [label, tip] : tips)
    EXPECT_EQ(f.control<headless::HLabel>(label).toolTip(), tip) << label;
}

// Guards against a job saved as UTF-8 (folders outside code page 932) not being read.
TEST_F(CopyTool, AJobAfterAUtf8ByteOrderMarkIsShown) {
  storeRaw("\xEF\xBB\xBF\"/home/u/Café/한국어/📷\"\r\n\"/mnt/Müller\"\r\n\"📷\"\r\n");
  start();
  EXPECT_EQ(caption("lblCopy1"), "/home/u/Café/한국어/📷");
  EXPECT_EQ(caption("lblCopy2"), "/mnt/Müller");
  EXPECT_EQ(window.DestinationPath, "/mnt/Müller/📷");
}

TEST_F(CopyTool, MissingFileShowsTheMessageAndEndsBeforeTheWindowShows) {
  ui.answer(mb::kAnswerOk);
  window.start();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, kMissingFile);
  EXPECT_EQ(ui.boxes[0].style, mb::kOk);
  EXPECT_EQ(ui.boxes[0].title, "QM(Quillmar)");
  EXPECT_TRUE(ui.ended());
  EXPECT_EQ(dynamic_cast<HForm&>(window.form()).showCount(), 0);
  EXPECT_FALSE(window.isLoaded());
}

// Guards against a short file leaving the stored destination as the copy target.
TEST_F(CopyTool, ShortFileOpensEmptyAndCopiesNowhere) {
  store("\"/src/a\"\r\n\"/mnt/backup\"\r\n");
  HForm& f = start();
  EXPECT_TRUE(f.shown());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(caption("lblCopy1"), "");
  EXPECT_EQ(caption("lblCopy2"), "");
  EXPECT_EQ(caption("Label3"), "");
  EXPECT_EQ(window.SourcePath, "");
  EXPECT_EQ(window.DestinationPath, "");
}

TEST_F(CopyTool, RefreshShowsANewJobAndNeverAppendsTheBaseNameTwice) {
  storeJob();
  HForm& f = start();
  for (int i = 0; i < 3; ++i) f.mouseMoveOverSurface();
  EXPECT_EQ(window.DestinationPath, "/mnt/backup/プロジェクト");
  store("\"/home/u/写真\"\r\n\"/media/usb/\"\r\n\"写真\"\r\n");
  f.mouseMoveOverSurface();
  EXPECT_EQ(caption("lblCopy1"), "/home/u/写真");
  EXPECT_EQ(caption("lblCopy2"), "/media/usb/");
  EXPECT_EQ(window.DestinationPath, "/media/usb/写真");
  EXPECT_EQ(caption("Label3"), kReady);
}

TEST_F(CopyTool, MovesOverControlsRunNoRefresh) {
  storeJob();
  HForm& f = start();
  store("\"/other\"\r\n\"/x\"\r\n\"other\"\r\n");
  for (const ControlRow& row : frmMainLayout().controls) {
    f.mouseMoveOverControl(row.name);
    EXPECT_EQ(caption("lblCopy1"), "/src/プロジェクト.v2") << "after a move over " << row.name;
  }
  // Between the buttons lies the window's own surface.
  f.mouseMoveTo(3000, 2300);
  EXPECT_EQ(caption("lblCopy1"), "/other");
}

// Guards against a failed refresh ending the program or half-changing the job.
TEST_F(CopyTool, FailedRefreshKeepsTheWindowAsItWas) {
  storeJob();
  HForm& f = start();
  for (const char* broken : {"\"/new\"\r\n\"/dst\"\r\n", "", "\"\x81"}) {
    storeRaw(broken);
    f.mouseMoveOverSurface();
    EXPECT_FALSE(ui.ended());
    EXPECT_EQ(window.SourcePath, "/src/プロジェクト.v2");
    EXPECT_EQ(window.DestinationPath, "/mnt/backup/プロジェクト");
    EXPECT_EQ(caption("lblCopy1"), "/src/プロジェクト.v2");
  }
  std::filesystem::remove(dir / "Copy.Copy");
  f.mouseMoveOverSurface();
  EXPECT_FALSE(ui.ended());
  EXPECT_EQ(window.DestinationPath, "/mnt/backup/プロジェクト");
}

// Guards against a Copy.Copy that is not a plain job keeping the window from ever
// opening (a FIFO), exhausting memory (/dev/zero) or handing on a path cut at a NUL.
TEST_F(CopyTool, OddSettingsFileOpensTheWindowAsADamagedFileDoes) {
  for (const testing::OddFile& odd : testing::oddSettingsFiles()) {
    SCOPED_TRACE(odd.what);
    clearSettingsFile();
    odd.make(dir / "Copy.Copy");
    testing::HangGuard guard;
    headless::HeadlessBackend oddUi("QM(Quillmar)");
    frmMain oddWindow(oddUi);
    oddWindow.start();
    HForm& f = *oddUi.form("frmMain");
    EXPECT_TRUE(f.shown());
    EXPECT_FALSE(oddUi.ended());
    EXPECT_TRUE(oddUi.boxes.empty());
    EXPECT_EQ(f.label("lblCopy1").caption(), "");
    EXPECT_EQ(f.label("Label3").caption(), "");
    EXPECT_EQ(oddWindow.SourcePath, "");
    EXPECT_EQ(oddWindow.DestinationPath, "");
  }
}

// Guards against a mouse move over the window freezing the copy tool on such a file.
TEST_F(CopyTool, OddSettingsFileLeavesARefreshedWindowAsItWas) {
  storeJob();
  HForm& f = start();
  for (const testing::OddFile& odd : testing::oddSettingsFiles()) {
    SCOPED_TRACE(odd.what);
    clearSettingsFile();
    odd.make(dir / "Copy.Copy");
    testing::HangGuard guard;
    f.mouseMoveOverSurface();
    EXPECT_FALSE(ui.ended());
    EXPECT_EQ(window.DestinationPath, "/mnt/backup/プロジェクト");
    EXPECT_EQ(caption("lblCopy1"), "/src/プロジェクト.v2");
  }
}

TEST_F(CopyTool, QuitButtonEndsWithoutAQuestion) {
  storeJob();
  start().click("Command2");
  EXPECT_TRUE(ui.ended());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(fs.copies.empty());
}

TEST_F(CopyTool, ClosingTheWindowEndsTheProgram) {
  storeJob();
  start().closeByFrame();
  EXPECT_TRUE(ui.ended());
}

}  // namespace
}  // namespace qm
