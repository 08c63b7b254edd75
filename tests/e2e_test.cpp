// Both programs on the headless backend with the real disk: save a job, then copy it.
#include <gtest/gtest.h>

#include <filesystem>

#include "ui/filesystem.h"
#include "frmCopy.h"
#include "frmMain.h"
#include "temp_folder.h"
#include "ui/headless/headless.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

class SaveThenCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    fs::create_directories(source + "/サブ");
    fs::create_directories(destination);
    writeBytes(source + "/報告.txt", "今月の報告");
    writeBytes(source + "/サブ/写真.jpg", std::string(70000, 'x'));
  }

  // The setup tool: type both paths, OK, answer `answerM3` to its question.
  void save(int answerM3) {
    headless::HeadlessBackend ui("QMS(QuillmarSetter)");
    ui.objectFactory = [] { return createDiskFileSystemObject(); };
    ui.programs["QM(Quillmar).exe"] = 0;
    frmCopy window(ui);
    window.start();
    headless::HForm& f = *ui.form("frmCopy");
    f.type("txtCopy1", source);
    f.type("txtCopy2", destination);
    ui.answer(answerM3);
    f.pressEnter();
    ASSERT_TRUE(ui.ended());
    ASSERT_TRUE(ui.unexpectedBoxes.empty());
  }

  TempFolder root;
  std::string source = root / "元データ.2026";
  std::string destination = root / "バックアップ先";
};

TEST_F(SaveThenCopy, TheCopyToolCopiesWhatTheSetupToolSaved) {
  save(mb::kAnswerYes);
  headless::HeadlessBackend ui("QM(Quillmar)");
  ui.objectFactory = [] { return createDiskFileSystemObject(); };
  frmMain window(ui);
  window.start();
  ASSERT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.form("frmMain")->label("lblCopy1").caption(), source);
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  ui.form("frmMain")->click("cmdCopy");
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "コピーが完了しました。正常終了します。");
  EXPECT_TRUE(ui.ended());
  const std::string copy = destination + "/元データ";
  EXPECT_EQ(readBytes(copy + "/報告.txt"), "今月の報告");
  EXPECT_EQ(readBytes(copy + "/サブ/写真.jpg"), std::string(70000, 'x'));
}

TEST_F(SaveThenCopy, CopyingAgainOverwritesChangedFiles) {
  save(mb::kAnswerNo);
  for (const char* content : {"一回目", "二回目は長くなった"}) {
    writeBytes(source + "/報告.txt", content);
    headless::HeadlessBackend ui("QM(Quillmar)");
    ui.objectFactory = [] { return createDiskFileSystemObject(); };
    frmMain window(ui);
    window.start();
    ui.answer(mb::kAnswerYes);
    ui.answer(mb::kAnswerOk);
    ui.form("frmMain")->click("cmdCopy");
    EXPECT_EQ(readBytes(destination + "/元データ/報告.txt"), content);
  }
}

// Guards against a job whose folders are named outside code page 932 being refused.
TEST_F(SaveThenCopy, FoldersNamedInAnyScriptAreSavedAndCopied) {
  source = root / "Café/한국어/📷";
  destination = root / "Müller/사진";
  fs::create_directories(source + "/été");
  fs::create_directories(destination);
  writeBytes(source + "/été/😀.txt", "emoji");
  save(mb::kAnswerNo);
  EXPECT_EQ(readBytes(root / "config/Copy.Copy").substr(0, 3), "\xEF\xBB\xBF");
  headless::HeadlessBackend ui("QM(Quillmar)");
  ui.objectFactory = [] { return createDiskFileSystemObject(); };
  frmMain window(ui);
  window.start();
  ASSERT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.form("frmMain")->label("lblCopy1").caption(), source);
  EXPECT_EQ(window.DestinationPath, destination + "/📷");
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  ui.form("frmMain")->click("cmdCopy");
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "コピーが完了しました。正常終了します。");
  EXPECT_EQ(readBytes(destination + "/📷/été/😀.txt"), "emoji");
}

// Guards against a job whose destination lies inside its source filling the disk.
TEST_F(SaveThenCopy, ACopyIntoItselfIsRefusedWithTheGenericMessages) {
  destination = source + "/サブ";
  save(mb::kAnswerNo);
  headless::HeadlessBackend ui("QM(Quillmar)");
  ui.objectFactory = [] { return createDiskFileSystemObject(); };
  frmMain window(ui);
  window.start();
  for (int a : {mb::kAnswerYes, mb::kAnswerOk, mb::kAnswerOk}) ui.answer(a);
  ui.form("frmMain")->click("cmdCopy");
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[2].text, "メールアドレスは､クリップボードにコピーしておきます。");
  EXPECT_FALSE(fs::exists(source + "/サブ/元データ"));
  EXPECT_FALSE(ui.ended());
}

TEST_F(SaveThenCopy, AMissingSourceSendsTheUserBackToTheSetupTool) {
  save(mb::kAnswerNo);
  fs::remove_all(source);
  headless::HeadlessBackend ui("QM(Quillmar)");
  ui.objectFactory = [] { return createDiskFileSystemObject(); };
  ui.programs["QMS (QuillmarSetter).exe"] = 0;
  frmMain window(ui);
  window.start();
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  ui.form("frmMain")->click("cmdCopy");
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text,
            "指定しているパス名が見つかりません！もう１度設定しなおしてください!");
  ASSERT_EQ(ui.started.size(), 1u);
  EXPECT_TRUE(ui.ended());
}

}  // namespace
}  // namespace qm
