// The figures, line, bar position and place of a copy's progress, as every backend shows them.
#include "ui/progress_view.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "frmMain.h"

namespace qm {
namespace {

TEST(ProgressView, LineAndBarFollowWhatIsKnown) {
  struct Case {
    ProgressFigures figures;
    const char* line;
    int permille;
  };
  const Case cases[] = {
      // Nothing counted yet (or an engine that does not count): a plain note, a busy bar.
      {{0, 0, 0, 0, false}, "コピーしています…", -1},
      // The walk runs ahead: the totals still grow, the bar has no position yet.
      {{3, 40, 2048, 1536000, false}, "3 / 40 ファイル　2.0 KB / 1.5 MB（集計中）", -1},
      {{1234, 5678, 5ull << 30, 50ull << 30, true}, "1,234 / 5,678 ファイル　5.0 GB / 50 GB", 100},
      {{40, 40, 1536000, 1536000, true}, "40 / 40 ファイル　1.5 MB / 1.5 MB", 1000},
      // Empty files only: the files give the position.
      {{1, 4, 0, 0, true}, "1 / 4 ファイル　0 バイト / 0 バイト", 250},
      {{0, 0, 0, 0, true}, "0 / 0 ファイル　0 バイト / 0 バイト", 1000},
      // Reading back what was written: its own note, its own figures.
      {{2, 7, 3ull << 20, 12ull << 20, true, true},
       "確認しています… 2 / 7 ファイル　3.0 MB / 12 MB",
       250},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progressText(c.figures), c.line);
    EXPECT_EQ(progressPermille(c.figures), c.permille) << c.line;
  }
}

// What a window shows where the progress was once a copy has ended.
TEST(ProgressView, TheOutcomeNamesTheFirstFileWithItsCauseAndHowManyMore) {
  using copy::Problem;
  const Problem bad{"docs/why?.txt", "名前にコピー先で使えない文字 '?' があります"};
  const Problem locked{"mail.pst", "読み取れません (アクセス拒否)"};
  const Problem pipe{"run/fifo", "コピー先が保存できない種類のため、コピーしませんでした"};
  const Problem decayed{"photo.jpg", copy::repairedCause()};
  const RuntimeError device(err::kPermissionDenied, "/media/stick/backup");
  const std::string early = copy::numberCause(err::kPermissionDenied, false);
  const struct {
    const char* what;
    std::vector<Problem> failures, leftOut;
    const RuntimeError* failure;
    const char* line;  // with the problems' own words after "|"
    std::vector<std::string> details;
    std::vector<Problem> repaired = {};
  } cases[] = {
      {"nothing to tell", {}, {}, nullptr, "", {}},
      {"one failure", {bad}, {}, &device, "docs/why?.txt: |0", {"docs/why?.txt: |0"}},
      {"two failures and one left out",
       {bad, locked},
       {pipe},
       &device,
       "docs/why?.txt: |0 ほか 1 件",
       {"docs/why?.txt: |0", "mail.pst: |1", "run/fifo: |2"}},
      {"left out behind a completed copy",
       {},
       {pipe, pipe},
       nullptr,
       "run/fifo: |2 ほか 1 件",
       {"run/fifo: |2", "run/fifo: |2"}},
      {"a failure before the copy began: its own path and number",
       {},
       {},
       &device,
       "/media/stick/backup: |3",
       {"/media/stick/backup: |3"}},
      {"an old copy repaired in a completed copy",
       {},
       {},
       nullptr,
       "photo.jpg: |4",
       {"photo.jpg: |4"},
       {decayed}},
      {"left out, and old copies repaired",
       {},
       {pipe},
       nullptr,
       "run/fifo: |2",
       {"run/fifo: |2", "photo.jpg: |4", "photo.jpg: |4"},
       {decayed, decayed}},
  };
  // "|n" stands for the cause of problem n (3: the early failure's).
  const std::string causes[] = {bad.cause, locked.cause, pipe.cause, early, decayed.cause};
  const auto expand = [&](std::string text) {
    const std::size_t bar = text.find('|');
    if (bar != std::string::npos) text.replace(bar, 2, causes[text[bar + 1] - '0']);
    return text;
  };
  for (const auto& c : cases) {
    CopyProgress run;
    for (const Problem& p : c.failures) run.report.addFailure(p);
    for (const Problem& p : c.leftOut) run.report.addLeftOut(p);
    for (const Problem& p : c.repaired) run.report.addRepaired(p);
    std::string details;
    for (const std::string& d : c.details)
      details.append(details.empty() ? "" : "\n").append(expand(d));
    EXPECT_EQ(copyOutcome(copy::resultOf(run, c.failure)), (CopyOutcome{expand(c.line), details}))
        << c.what;
  }
  // However many there are, the list behind the line stays short enough to read.
  CopyProgress many;
  for (int i = 0; i < 2500; ++i) {
    std::string file = "f";
    many.report.addFailure({file.append(std::to_string(i)), "x"});
  }
  const CopyOutcome outcome = copyOutcome(copy::resultOf(many, &device));
  EXPECT_EQ(outcome.line, "f0: x ほか 2,499 件");
  EXPECT_EQ(std::count(outcome.details.begin(), outcome.details.end(), '\n'), 20);
  EXPECT_TRUE(outcome.details.ends_with("… ほか 2,480 件")) << outcome.details;
}

TEST(ProgressView, SizesInBinaryUnits) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "0 バイト"},     {1023, "1023 バイト"},  {1024, "1.0 KB"},
      {10188, "9.9 KB"},   {10239, "10 KB"},       {1048063, "1023 KB"},
      {1048575, "1.0 MB"}, {3ull << 40, "3.0 TB"}, {~0ull, "16384 PB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(byteSize(bytes), text) << bytes;
  // A volume's file size limit, one byte short of a whole number of a unit, shows whole.
  const struct {
    const char* type;
    std::uint64_t limit;
    const char* cause;
  } limits[] = {
      {"FAT32", (4ull << 30) - 1, "FAT32 には 4 GB を超えるファイルを保存できません"},
      {"ext4", (16ull << 40) - 1, "ext4 には 16 TB を超えるファイルを保存できません"},
      {"X", (3ull << 29) - 1, "X には 1.5 GB を超えるファイルを保存できません"},
  };
  for (const auto& c : limits) EXPECT_EQ(copy::sizeLimitCause(c.type, c.limit), c.cause);
}

// Regression guard: counters read while the copy raises them may show done ahead of found.
TEST(ProgressView, DoneNeverExceedsFoundWhenRead) {
  CopyProgress p;
  p.filesFound = 2;
  p.filesDone = 3;
  p.bytesFound = 100;
  p.bytesDone = 250;
  const ProgressFigures f = readProgress(p);
  EXPECT_EQ(f.filesFound, 3u);
  EXPECT_EQ(f.bytesFound, 250u);
  EXPECT_FALSE(f.walkDone);
  // Once the read-back begins, its figures are the ones read, held to the same rule.
  p.readingBack = true;
  p.filesToCheck = 3;
  p.filesChecked = 1;
  p.bytesToCheck = 90;
  p.bytesChecked = 120;
  const ProgressFigures back = readProgress(p);
  EXPECT_TRUE(back.readingBack);
  EXPECT_EQ(back.filesDone, 1u);
  EXPECT_EQ(back.filesFound, 3u);
  EXPECT_EQ(back.bytesFound, 120u);
}

TEST(ProgressView, AreaIsTheTallestFreeBandAcrossTheControls) {
  struct Case {
    const char* what;
    std::vector<Rect> controls;
    int width, height;
    Rect area;
  };
  const Case cases[] = {
      {"no controls: the whole window less the margin", {}, 200, 100, {10, 39, 180, 22}},
      {"the taller of the bands above and below a control",
       {{20, 30, 100, 20}},
       200,
       100,
       {20, 64, 100, 22}},
      {"overlapping controls leave no band between them",
       {{0, 0, 50, 40}, {60, 30, 50, 40}},
       200,
       140,
       {10, 94, 100, 22}},
      {"a band too low for the margins is no place",
       {{0, 0, 50, 45}, {0, 63, 50, 37}},
       200,
       100,
       {}},
  };
  for (const Case& c : cases) {
    const Rect got = progressArea(c.controls, c.width, c.height, 10, 22);
    EXPECT_EQ(got, c.area) << c.what << ": " << got.left << "," << got.top << " " << got.width
                           << "x" << got.height;
  }
}

// The copy tool's window: the band between Label3 and the button row, as wide as the
// controls, in twips as the layout table gives them.
TEST(ProgressView, CopyToolShowsItBetweenTheMessageLineAndTheButtons) {
  std::vector<Rect> controls;
  for (const ControlRow& row : frmMainLayout().controls)
    controls.push_back({row.left, row.top, row.width, row.height});
  const Rect area = progressArea(controls, 9240, 2865, 30, 330);
  EXPECT_EQ(area, (Rect{240, 1672, 8415, 330}));
  for (const ControlRow& row : frmMainLayout().controls)
    EXPECT_TRUE(area.bottom() <= row.top || area.top >= row.top + row.height) << row.name;
}

}  // namespace
}  // namespace qm
