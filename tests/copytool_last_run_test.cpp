// The copy tool's last run of its job on the headless backend: shown, refreshed, written.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "copytool_fixture.h"
#include "ui/busy_copy.h"
#include "ui/last_run.h"
#include "ui/last_run_line.h"

namespace qm {
namespace {

using testing::CopyTool;
using testing::writeBytes;

constexpr const char* kSource = "/src/プロジェクト.v2";
constexpr const char* kDestination = "/mnt/backup/プロジェクト";  // effective, of storeJob()

LastRun runOf(const char* source, const char* destination) {
  LastRun run;
  run.source = source;
  run.destination = destination;
  run.started = 1733634185;
  run.tookMs = 1500;
  run.counts.found = 1234;
  run.counts.written = 12;
  return run;
}

std::string lineOf(const LastRun& run) {
  return lastRunOutcome(run, localTimeOf(run.started)).line;
}

class LastRunShown : public CopyTool {
 protected:
  void SetUp() override {
    CopyTool::SetUp();
    ui.objectFactory = [this] { return std::make_unique<BusyCopyObject>(ui, copier); };
    storeJob();
  }
  std::string lastRunFile() { return dir / "Copy.Last"; }
  void keep(const LastRun& run) { writeBytes(lastRunFile(), formatLastRun(run)); }
  void refresh() { ui.form("frmMain")->mouseMoveOverSurface(); }

  // The copy as the engine would run it: the destination fills up at one file, after two
  // were written.
  BusyCopyObject::Copier copier = [](std::string_view, std::string_view, const CopyOptions&,
                                     CopyProgress& progress) {
    progress.filesFound = 3;
    progress.walkDone = true;
    progress.filesDone = 2;
    progress.filesWritten = 2;
    const RuntimeError failure(err::kDiskFull, "/mnt/backup/プロジェクト/c.txt");
    return copy::resultOf(progress, &failure);
  };
};

TEST_F(LastRunShown, OnLoadOnlyARunOfTheSameJobReadFromAWholeFileShows) {
  const LastRun same = runOf(kSource, kDestination);
  const struct {
    const char* what;
    std::function<void()> prepare;
    bool shown;
  } cases[] = {
      {"a run of this job", [&] { keep(same); }, true},
      {"another source", [&] { keep(runOf("/src/other", kDestination)); }, false},
      {"another destination", [&] { keep(runOf(kSource, "/mnt/x")); }, false},
      {"no file", [] {}, false},
      {"a damaged file", [&] { writeBytes(lastRunFile(), formatLastRun(same).substr(0, 90)); },
       false},
      {"a folder in its place", [&] { std::filesystem::create_directory(lastRunFile()); }, false},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(lastRunFile());
    c.prepare();
    headless::HeadlessBackend fresh{"QM(Quillmar)"};
    frmMain window2{fresh};
    window2.start();
    EXPECT_EQ(fresh.outcome.line, c.shown ? lineOf(same) : "") << c.what;
    EXPECT_EQ(fresh.outcomeForm, c.shown ? "frmMain" : "") << c.what;
    EXPECT_TRUE(fresh.boxes.empty()) << c.what;
    EXPECT_EQ(fresh.form("frmMain")->label("Label3").caption(),
              "上記のように、コピーを開始します。")
        << c.what;
  }
}

TEST_F(LastRunShown, ARefreshFollowsTheJobAndTheFile) {
  keep(runOf(kSource, kDestination));
  start();
  EXPECT_EQ(ui.outcome.line, lineOf(runOf(kSource, kDestination)));
  // The setup tool stored another job: its last run is not this one.
  store("\"/src/other\"\r\n\"/mnt/backup\"\r\n\"other\"\r\n");
  refresh();
  EXPECT_EQ(ui.outcome.line, "");
  storeJob();
  refresh();
  EXPECT_EQ(ui.outcome.line, lineOf(runOf(kSource, kDestination)));
  // Another copy tool ran the job since.
  LastRun later = runOf(kSource, kDestination);
  later.started += 3600;
  keep(later);
  refresh();
  EXPECT_EQ(ui.outcome.line, lineOf(later));
}

TEST_F(LastRunShown, ACopyRunIsWrittenAndItsOwnOutcomeStandsThroughRefreshes) {
  keep(runOf(kSource, kDestination));
  start();
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  ui.answer(mb::kAnswerOk);
  ui.form("frmMain")->click("cmdCopy");
  const std::optional<LastRun> kept = readLastRun(lastRunFile());
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->source, kSource);
  EXPECT_EQ(kept->destination, kDestination);
  EXPECT_EQ(kept->number, err::kDiskFull);
  EXPECT_EQ(kept->file, "/mnt/backup/プロジェクト/c.txt");
  EXPECT_EQ(kept->counts.found, 3u);
  EXPECT_EQ(kept->counts.written, 2u);
  EXPECT_GT(kept->started, 1733634185);
  const std::string runLine = ui.outcome.line;
  EXPECT_EQ(runLine.find("前回"), std::string::npos) << runLine;
  EXPECT_NE(runLine.find("c.txt"), std::string::npos) << runLine;
  refresh();
  EXPECT_EQ(ui.outcome.line, runLine);
}

TEST_F(LastRunShown, AFileThatCannotBeWrittenIsPassedOverInSilence) {
  std::filesystem::create_directory(lastRunFile());
  start();
  ui.answer(mb::kAnswerYes);
  ui.answer(mb::kAnswerOk);
  ui.answer(mb::kAnswerOk);
  ui.form("frmMain")->click("cmdCopy");
  EXPECT_EQ(boxTexts().size(), 3u);  // the confirmation and the two of the failure, no more
  EXPECT_TRUE(std::filesystem::is_directory(lastRunFile()));
  EXPECT_FALSE(ui.ended());
}

}  // namespace
}  // namespace qm
