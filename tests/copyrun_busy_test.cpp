// The copy run through the busy object on the headless backend: progress, and no input.
#include <gtest/gtest.h>

#include <functional>

#include "copytool_fixture.h"
#include "ui/busy_copy.h"

namespace qm {
namespace {

using testing::CopyTool;

constexpr const char* kConfirm = "コピーを開始します。よろしいですか？";
constexpr const char* kCompleted = "コピーが完了しました。正常終了します。";
constexpr const char* kDeviceNotReady = "デバイスの準備が出来ていません。";
constexpr const char* kSetupFile = "QMS (QuillmarSetter).exe";

// The busy object's copy: runs the test's steps on the progress, and returns what they
// counted, or the error they throw.
using Steps = std::function<void(CopyProgress&)>;
BusyCopyObject::Copier scriptedCopy(Steps& steps) {
  return [&steps](std::string_view, std::string_view, const CopyOptions&, CopyProgress& progress) {
    try {
      steps(progress);
    } catch (const RuntimeError& failure) {
      return copy::resultOf(progress, &failure);
    }
    return copy::resultOf(progress, nullptr);
  };
}

class BusyCopyRun : public CopyTool {
 protected:
  void SetUp() override {
    CopyTool::SetUp();
    ui.objectFactory = [this] { return std::make_unique<BusyCopyObject>(ui, scriptedCopy(steps)); };
    ui.programs[kSetupFile] = 0;
    storeJob();
    start();
  }
  headless::HForm& mainForm() { return *ui.form("frmMain"); }

  Steps steps;
};

TEST_F(BusyCopyRun, NoClickKeyOrCloseDuringTheCopyReachesAHandlerThenOrLater) {
  std::size_t boxesDuring = 0;
  bool endedDuring = true;
  steps = [&](CopyProgress&) {
    EXPECT_TRUE(ui.busyRunning());
    mainForm().click("Command2");   // would end the program
    mainForm().click("cmdHenkou");  // would start the setup tool
    mainForm().click("cmdCopy");    // would ask again
    mainForm().mouseMoveOverSurface();
    mainForm().closeByFrame();
    endedDuring = ui.ended();
    boxesDuring = ui.boxes.size();
  };
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  mainForm().click("cmdCopy");
  EXPECT_FALSE(endedDuring);
  EXPECT_EQ(boxesDuring, 1u);
  EXPECT_TRUE(ui.started.empty());
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kConfirm, kCompleted}));
  EXPECT_EQ(ui.pointerHistory, (std::vector<int>{kPointerHourglass, kPointerDefault}));
  EXPECT_TRUE(ui.ended());  // by the completion, as without the busy run
}

TEST_F(BusyCopyRun, ProgressShowsInTheFreeBandOfTheWindowWhileTheCopyRunsAndIsGoneAfter) {
  std::vector<std::string> lines;
  Rect area;
  steps = [&](CopyProgress& p) {
    area = ui.progressArea();
    lines.push_back(ui.progressLine());
    p.filesFound = 5;
    p.bytesFound = 5000;
    lines.push_back(ui.progressLine());
    p.filesDone = 2;
    p.bytesDone = 2048;
    p.walkDone = true;
    lines.push_back(ui.progressLine());
  };
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  mainForm().click("cmdCopy");
  EXPECT_EQ(ui.busyForm, "frmMain");
  EXPECT_EQ(area, (Rect{240, 1672, 8415, 330}));
  EXPECT_EQ(lines, (std::vector<std::string>{"コピーしています…",
                                             "0 / 5 ファイル　0 バイト / 4.9 KB（集計中）",
                                             "2 / 5 ファイル　2.0 KB / 4.9 KB"}));
  EXPECT_TRUE(ui.progressArea().empty());
  EXPECT_EQ(ui.progressLine(), "");
}

// Each run starts from zero: a Retry after a failed copy does not show the old figures.
TEST_F(BusyCopyRun, AFailureReachesTheHandlerAndARetryCountsAfresh) {
  std::vector<std::string> firstLines;
  int run = 0;
  steps = [&](CopyProgress& p) {
    firstLines.push_back(ui.progressLine());
    if (++run == 1) {
      p.filesFound = 7;
      throw RuntimeError(err::kPermissionDenied, "/mnt/backup");
    }
  };
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerRetry);
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  mainForm().click("cmdCopy");
  EXPECT_EQ(boxTexts(),
            (std::vector<std::string>{kConfirm, kDeviceNotReady, kConfirm, kCompleted}));
  EXPECT_EQ(firstLines, (std::vector<std::string>{"コピーしています…", "コピーしています…"}));
  EXPECT_FALSE(ui.busyRunning());
}

// Regression: every failure but 70 and 76 showed the same two boxes, and nothing told the
// user which file or why; what a completed copy left out went unsaid.
TEST_F(BusyCopyRun, TheBandSaysWhichFileAndWhyBehindTheBoxesUntilTheNextCopy) {
  constexpr const char* kErrorOccurred =
      "エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。";
  constexpr const char* kAddressCopied = "メールアドレスは､クリップボードにコピーしておきます。";
  const copy::Problem bad{"why?.txt", copy::nameCause(copy::NameProblem::ReservedCharacter, "?")};
  const copy::Problem fifo{"pipe", copy::leftOutCause(copy::LeftOut::Unholdable)};
  const struct {
    const char* what;
    std::vector<copy::Problem> failures, leftOut;
    int number;  // 0: the copy completes
    std::vector<std::string> boxes;
    std::string line;
  } cases[] = {
      {"a name the stick cannot hold",
       {bad, bad},
       {},
       err::kBadFileName,
       {kConfirm, kErrorOccurred, kAddressCopied},
       bad.file + ": " + bad.cause + " ほか 1 件"},
      // Last: the completion ends the program.
      {"left out behind the completion box",
       {},
       {fifo},
       0,
       {kConfirm, kCompleted},
       fifo.file + ": " + fifo.cause},
  };
  std::string before;  // what the band shows from the copy before
  for (const auto& c : cases) {
    ui.boxes.clear();
    steps = [&](CopyProgress& p) {
      for (const auto& f : c.failures) p.report.addFailure(f);
      for (const auto& l : c.leftOut) p.report.addLeftOut(l);
      if (c.number != 0) throw RuntimeError(c.number, "/media/stick/why?.txt");
    };
    std::vector<std::string> linesAtBoxes;
    ui.onBox = [&](const headless::BoxRecord&) { linesAtBoxes.push_back(ui.outcome.line); };
    ui.answer(mb::kAnswerYes);
    ui.answer(mb::kAnswerOk);
    if (c.number != 0) ui.answer(mb::kAnswerOk);
    mainForm().click("cmdCopy");
    EXPECT_EQ(boxTexts(), c.boxes) << c.what;
    // The line of the copy before while the question is asked; this one's behind every box
    // after the copy.
    std::vector<std::string> expected(c.boxes.size(), c.line);
    expected[0] = before;
    EXPECT_EQ(linesAtBoxes, expected) << c.what;
    EXPECT_EQ(ui.outcomeForm, "frmMain") << c.what;
    ui.onBox = nullptr;
    before = c.line;
  }
}

// After a failed copy the window takes input again.
TEST_F(BusyCopyRun, HandlersRunAgainOnceTheCopyHasEnded) {
  steps = [&](CopyProgress&) { throw RuntimeError(err::kPermissionDenied, "/mnt/backup"); };
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerCancel);
  mainForm().click("cmdCopy");
  EXPECT_FALSE(ui.ended());
  mainForm().click("Command2");
  EXPECT_TRUE(ui.ended());
}

}  // namespace
}  // namespace qm
