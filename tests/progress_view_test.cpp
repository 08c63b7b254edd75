// The figures, line, bar position and place of a copy's progress, as every backend shows them.
#include "ui/progress_view.h"

#include <gtest/gtest.h>

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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progressText(c.figures), c.line);
    EXPECT_EQ(progressPermille(c.figures), c.permille) << c.line;
  }
}

TEST(ProgressView, SizesInBinaryUnits) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0, "0 バイト"},     {1023, "1023 バイト"},  {1024, "1.0 KB"},
      {10188, "9.9 KB"},   {10239, "10 KB"},       {1048063, "1023 KB"},
      {1048575, "1.0 MB"}, {3ull << 40, "3.0 TB"}, {~0ull, "16384 PB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(byteSize(bytes), text) << bytes;
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
