// The last-run file's text written and read back, damaged text, and the line a window shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "ui/last_run.h"
#include "ui/last_run_line.h"
#include "utf8.h"

namespace qm {
namespace {

LastRun completeRun() {
  LastRun run;
  run.source = "/src/プロジェクト.v2";
  run.destination = "/mnt/backup/プロジェクト";
  run.started = 1733634185;
  run.tookMs = 65300;
  run.counts = {1234, 5u << 20, 12, 1222, 0, 0, 300};
  return run;
}

LastRun failedRun() {
  LastRun run = completeRun();
  run.number = 57;
  run.file = "docs/report.txt";
  run.cause = "コピー先から読み戻した内容が元と一致しません";
  run.counts.failed = 1;
  return run;
}

LastRun with(LastRun run, const std::function<void(LastRun&)>& change) {
  change(run);
  return run;
}

TEST(LastRunFile, EveryRunComesBackAsItWasWrittenOnLinesOfUtf8) {
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  const LastRun runs[] = {
      completeRun(),
      failedRun(),
      with(failedRun(), [](LastRun& r) { r.file = "a\nb\r\tc\\d=e 100%"; }),
      with(failedRun(), [](LastRun& r) { r.file = "bytes \xff\xfe of no UTF-8 %41"; }),
      with(completeRun(), [](LastRun& r) { r.source = "C:\\Users\\ä\\写真 😀"; }),
      with(completeRun(), [](LastRun& r) { r.source = r.destination = ""; }),
      with(completeRun(),
           [&](LastRun& r) { r.counts = {kMax, kMax, kMax, kMax, kMax, kMax, kMax, kMax}; }),
      with(failedRun(), [](LastRun& r) { r.number = -1, r.started = -86400, r.cause.clear(); }),
  };
  for (const LastRun& run : runs) {
    const std::string text = formatLastRun(run);
    EXPECT_EQ(parseLastRun(text), run) << text;
    EXPECT_TRUE(isValidUtf8(text)) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 17) << text;
    // A file written before runs counted repaired copies: read, with none.
    std::string earlier = text;
    earlier.erase(earlier.find("repaired="),
                  earlier.find('\n', earlier.find("repaired=")) + 1 - earlier.find("repaired="));
    EXPECT_EQ(parseLastRun(earlier), with(run, [](LastRun& r) { r.counts.repaired = 0; }));
  }
}

TEST(LastRunFile, TextThatIsNotAWholeRunOfThisVersionGivesNothing) {
  const std::string good = formatLastRun(failedRun());
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    return text.replace(text.find(from), from.size(), to);
  };
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"another version", replaced("quillmar-last-run 1", "quillmar-last-run 2")},
      {"a longer version number", replaced("quillmar-last-run 1", "quillmar-last-run 10")},
      {"cut short", good.substr(0, good.size() / 2)},
      {"the end line missing", good.substr(0, good.size() - 4)},
      {"the last line break missing", good.substr(0, good.size() - 1)},
      {"a field missing", replaced("unchanged=1222\n", "")},
      {"a field twice", replaced("unchanged=1222\n", "unchanged=1222\nunchanged=1222\n")},
      {"an unknown field", replaced("unchanged=1222\n", "unchanged=1222\nextra=1\n")},
      {"a line without a key", replaced("unchanged=1222\n", "unchanged=1222\nextra\n")},
      {"a count that is no number", replaced("found=1234", "found=12x4")},
      {"a negative count", replaced("found=1234", "found=-1234")},
      {"an empty number", replaced("result=57", "result=")},
      {"a count too large", replaced("found=1234", "found=99999999999999999999")},
      {"an escape of one digit", replaced("docs/report", "docs%4")},
      {"an escape cut off", replaced("docs/report.txt", "docs/report.txt%4")},
      {"an escape of no hex", replaced("docs/report", "docs%ZZreport")},
      {"a raw byte of no UTF-8", replaced("docs/report", "docs\xffreport")},
      {"line ends CR LF", replaced("result=57\n", "result=57\r\n")},
  };
  for (const auto& c : cases) EXPECT_EQ(parseLastRun(c.text), std::nullopt) << c.what;
}

TEST(LastRunFile, ARunTakesItsErrorFromTheFirstFailureElseFromTheResult) {
  copy::CopyResult complete;
  complete.counts.found = 3;
  copy::CopyResult listed;
  listed.number = 70;
  listed.description = "書き込みできません";
  listed.path = "/mnt/backup/プロジェクト/b.txt";
  listed.failures = {{"a.txt", "読み取りできません"}, {"b.txt", "書き込みできません"}};
  copy::CopyResult unlisted;
  unlisted.number = 76;
  unlisted.description = "パスが見つかりません。";
  unlisted.path = "/mnt/backup";
  const struct {
    const copy::CopyResult& result;
    int number;
    const char* file;
    const char* cause;
  } cases[] = {
      {complete, 0, "", ""},
      {listed, 70, "a.txt", "読み取りできません"},
      {unlisted, 76, "/mnt/backup", "パスが見つかりません。"},
  };
  for (const auto& c : cases) {
    const LastRun run = lastRunOf("/s", "/d/s", 1000, 20, c.result);
    EXPECT_EQ(run, (LastRun{"/s", "/d/s", 1000, 20, c.number, c.file, c.cause, c.result.counts}))
        << c.number;
  }
}

constexpr LocalTime kStarted{2024, 12, 8, 14, 3, 5};

TEST(LastRunLine, OneLineForTheOutcomeWithTheRunsLocalStartTime) {
  const struct {
    const char* what;
    LastRun run;
    LocalTime started;
    const char* line;
  } cases[] = {
      {"complete, read back", completeRun(), kStarted,
       "前回 12月8日 14:03 完了：1,234 ファイル（コピー 12、確認 300）"},
      {"complete, nothing read back",
       with(completeRun(), [](LastRun& r) { r.counts.readBack = 0; }),
       {2025, 1, 2, 9, 5, 0},
       "前回 1月2日 9:05 完了：1,234 ファイル（コピー 12）"},
      {"complete, some left out",
       with(completeRun(), [](LastRun& r) { r.counts.readBack = 0, r.counts.leftOut = 2; }),
       kStarted, "前回 12月8日 14:03 完了：1,234 ファイル（コピー 12、除外 2）"},
      {"complete, some old copies repaired",
       with(completeRun(), [](LastRun& r) { r.counts.repaired = 1; }), kStarted,
       "前回 12月8日 14:03 完了：1,234 ファイル（コピー 12、確認 300、修復 1）"},
      {"failed", failedRun(), kStarted,
       "前回 12月8日 14:03 失敗：docs/report.txt（コピー先から読み戻した内容が元と一致しません）"},
      {"failed, more files", with(failedRun(), [](LastRun& r) { r.counts.failed = 1235; }),
       kStarted,
       "前回 12月8日 14:03 失敗：docs/report.txt（コピー先から読み戻した内容が元と一致しません）"
       " ほか 1,234 件"},
      {"failed before any file",
       with(failedRun(), [](LastRun& r) { r.file.clear(), r.cause = "パスが見つかりません。"; }),
       kStarted, "前回 12月8日 14:03 失敗：パスが見つかりません。"},
      {"failed without a cause", with(failedRun(), [](LastRun& r) { r.cause.clear(); }), kStarted,
       "前回 12月8日 14:03 失敗：docs/report.txt（エラー 57）"},
  };
  for (const auto& c : cases) {
    const CopyOutcome outcome = lastRunOutcome(c.run, c.started);
    EXPECT_EQ(outcome.line, c.line) << c.what;
    EXPECT_EQ(outcome.line.find('\n'), std::string::npos) << c.what;
  }
}

TEST(LastRunLine, TheListBehindTheLineHoldsTheJobTheTimesAndEveryCount) {
  const struct {
    LastRun run;
    const char* details;
  } cases[] = {
      {completeRun(),
       "コピー元：/src/プロジェクト.v2\nコピー先：/mnt/backup/プロジェクト\n"
       "開始：2024年12月8日 14:03:05　所要時間：1 分 5 秒\n結果：完了\n"
       "ファイル 1,234（5.0 MB）：コピー 12、未変更 1,222、確認 300、除外 0、失敗 0"},
      {with(failedRun(), [](LastRun& r) { r.tookMs = 7322000; }),
       "コピー元：/src/プロジェクト.v2\nコピー先：/mnt/backup/プロジェクト\n"
       "開始：2024年12月8日 14:03:05　所要時間：2 時間 2 分\n"
       "結果：エラー 57　docs/report.txt（コピー先から読み戻した内容が元と一致しません）\n"
       "ファイル 1,234（5.0 MB）：コピー 12、未変更 1,222、確認 300、除外 0、失敗 1"},
      {with(completeRun(), [](LastRun& r) { r.counts.repaired = 2; }),
       "コピー元：/src/プロジェクト.v2\nコピー先：/mnt/backup/プロジェクト\n"
       "開始：2024年12月8日 14:03:05　所要時間：1 分 5 秒\n結果：完了\n"
       "ファイル 1,234（5.0 MB）：コピー 12、未変更 1,222、確認 300、修復 2、除外 0、失敗 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(lastRunOutcome(c.run, kStarted).details, c.details);
}

}  // namespace
}  // namespace qm
