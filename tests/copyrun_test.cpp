// Tests of the copy run and of starting the setup tool, on the headless backend.
#include <gtest/gtest.h>

#include "contact.h"
#include "copytool_fixture.h"

namespace qm {
namespace {

using testing::CopyTool;

constexpr const char* kConfirm = "コピーを開始します。よろしいですか？";
constexpr const char* kCompleted = "コピーが完了しました。正常終了します。";
constexpr const char* kDeviceNotReady = "デバイスの準備が出来ていません。";
constexpr const char* kPathNotFound =
    "指定しているパス名が見つかりません！もう１度設定しなおしてください!";
constexpr const char* kErrorOccurred =
    "エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。";
constexpr const char* kAddressCopied = "メールアドレスは､クリップボードにコピーしておきます。";
constexpr const char* kSetupMissing =
    "≪QMS(QuillmarSetter)≫が見つかりません。\r\n"
    "このプログラム(QM(Quillmar)と同一フォルダにあるか確認してください。";
constexpr const char* kSetupFile = "QMS (QuillmarSetter).exe";

class CopyRun : public CopyTool {
 protected:
  void SetUp() override {
    CopyTool::SetUp();
    storeJob();
    start();
  }
  void pressCopy() { ui.form("frmMain")->click("cmdCopy"); }
  void expectBox(std::size_t i, const char* text, int style, const char* title) {
    ASSERT_LT(i, ui.boxes.size());
    EXPECT_EQ(ui.boxes[i].text, text);
    EXPECT_EQ(ui.boxes[i].style, style);
    EXPECT_EQ(ui.boxes[i].title, title);
  }
};

TEST_F(CopyRun, NoAtTheConfirmationChangesNothing) {
  ui.answer(mb::kAnswerNo);
  pressCopy();
  expectBox(0, kConfirm, 36, "コピー");
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(fs.copies.empty());
  EXPECT_TRUE(ui.pointerHistory.empty());
  EXPECT_FALSE(ui.ended());
}

TEST_F(CopyRun, SuccessCopiesUnderTheHourglassThenEnds) {
  int pointerAtCompletion = -1;
  ui.onBox = [&](const headless::BoxRecord& b) {
    if (b.text == kCompleted) pointerAtCompletion = ui.pointer;
  };
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  pressCopy();
  ASSERT_EQ(fs.copies.size(), 1u);
  EXPECT_EQ(fs.copies[0].first, "/src/プロジェクト.v2");
  EXPECT_EQ(fs.copies[0].second, "/mnt/backup/プロジェクト");
  EXPECT_EQ(fs.pointerDuringCopy[0], kPointerHourglass);
  expectBox(1, kCompleted, 0, "QM(Quillmar)");
  EXPECT_EQ(pointerAtCompletion, kPointerDefault);
  EXPECT_TRUE(ui.ended());
}

TEST_F(CopyRun, PermissionDeniedThenRetryRepeatsTheWholeRun) {
  fs.failures = {err::kPermissionDenied};
  for (int a : {mb::kAnswerYes, mb::kAnswerRetry, mb::kAnswerYes, mb::kAnswerOk}) ui.answer(a);
  pressCopy();
  expectBox(1, kDeviceNotReady, 21, "コピー");
  expectBox(2, kConfirm, 36, "コピー");
  expectBox(3, kCompleted, 0, "QM(Quillmar)");
  EXPECT_EQ(fs.copies.size(), 2u);
  EXPECT_TRUE(ui.ended());
}

TEST_F(CopyRun, PermissionDeniedThenCancelStaysOpen) {
  fs.failures = {err::kPermissionDenied};
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerCancel);
  pressCopy();
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.pointer, kPointerDefault);
  EXPECT_FALSE(ui.ended());
}

// Guards against a repeated run (after Retry) that was declined being followed by the
// generic messages of the first failure.
TEST_F(CopyRun, RetryAnsweredNoEndsTheFirstFailuresHandling) {
  fs.failures = {err::kPermissionDenied};
  for (int a : {mb::kAnswerYes, mb::kAnswerRetry, mb::kAnswerNo}) ui.answer(a);
  pressCopy();
  EXPECT_EQ(ui.boxes.size(), 3u);
  EXPECT_TRUE(ui.clipboard.empty());
  EXPECT_FALSE(ui.ended());
}

// Guards against unbounded retries growing the stack.
TEST_F(CopyRun, ManyRetriesRunInALoop) {
  const int retries = 20000;
  fs.failures.assign(retries, err::kPermissionDenied);
  for (int i = 0; i < retries; ++i) {
    ui.answer(mb::kAnswerYes);
    ui.answer(mb::kAnswerRetry);
  }
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  pressCopy();
  EXPECT_EQ(fs.copies.size(), std::size_t(retries) + 1);
  EXPECT_TRUE(ui.ended());
}

TEST_F(CopyRun, PathNotFoundStartsTheSetupToolThenEnds) {
  ui.programs[kSetupFile] = 0;
  fs.failures = {err::kPathNotFound};
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  pressCopy();
  expectBox(1, kPathNotFound, 0, "QM(Quillmar)");
  ASSERT_EQ(ui.started.size(), 1u);
  EXPECT_EQ(ui.started[0].fileName, kSetupFile);
  EXPECT_EQ(ui.started[0].windowStyle, 1);
  EXPECT_TRUE(ui.ended());
}

TEST_F(CopyRun, PathNotFoundWithTheSetupToolMissingShowsBothMessages) {
  fs.failures = {err::kPathNotFound};
  for (int a : {mb::kAnswerYes, mb::kAnswerOk, mb::kAnswerOk}) ui.answer(a);
  pressCopy();
  expectBox(1, kPathNotFound, 0, "QM(Quillmar)");
  expectBox(2, kSetupMissing, 0, "QM(Quillmar)");
  EXPECT_TRUE(ui.started.empty());
  EXPECT_TRUE(ui.ended());
}

TEST_F(CopyRun, OtherErrorsShowTheGenericMessagesThenFillTheClipboard) {
  for (int number : {err::kDiskFull, err::kPathFileAccess, err::kDeviceIo, err::kFileNotFound,
                     err::kFileExists}) {
    ui.boxes.clear();
    ui.clipboard.clear();
    fs.failures = {number};
    std::string clipboardAtSecondBox = "unset";
    ui.onBox = [&](const headless::BoxRecord& b) {
      if (b.text == kAddressCopied) clipboardAtSecondBox = ui.clipboard;
    };
    for (int a : {mb::kAnswerYes, mb::kAnswerOk, mb::kAnswerOk}) ui.answer(a);
    pressCopy();
    expectBox(1, kErrorOccurred, 0, "QM(Quillmar)");
    expectBox(2, kAddressCopied, 0, "QM(Quillmar)");
    EXPECT_EQ(clipboardAtSecondBox, "") << "the address goes on the clipboard after the box";
    EXPECT_EQ(ui.clipboard, kAuthorAddress);
    EXPECT_EQ(ui.pointer, kPointerDefault);
    EXPECT_FALSE(ui.ended()) << number;
  }
}

TEST_F(CopyRun, ObjectThatCannotBeCreatedGoesToTheDefaultReport) {
  ui.objectFactory = nullptr;
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  ui.objectFactory = []() -> std::unique_ptr<FileSystemObject> {
    throw RuntimeError(err::kCannotCreateObject, "Scripting.FileSystemObject");
  };
  pressCopy();
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].style, mb::kIconError);
  EXPECT_TRUE(ui.pointerHistory.empty());
  EXPECT_TRUE(ui.ended());
}

TEST_F(CopyRun, ChangeButtonStartsTheSetupToolAndStaysOpen) {
  ui.programs[kSetupFile] = 0;
  ui.form("frmMain")->click("cmdHenkou");
  ASSERT_EQ(ui.started.size(), 1u);
  EXPECT_EQ(ui.started[0].fileName, kSetupFile);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(ui.ended());
}

TEST_F(CopyRun, ChangeButtonWithoutTheSetupToolShowsTheTwoLineMessage) {
  ui.answer(mb::kAnswerOk);
  ui.form("frmMain")->click("cmdHenkou");
  expectBox(0, kSetupMissing, 0, "QM(Quillmar)");
  EXPECT_FALSE(ui.ended());
}

TEST_F(CopyRun, ChangeButtonIsSilentOnOtherStartFailures) {
  ui.programs[kSetupFile] = err::kPermissionDenied;
  ui.form("frmMain")->click("cmdHenkou");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(ui.started.empty());
  EXPECT_FALSE(ui.ended());
}

}  // namespace
}  // namespace qm
