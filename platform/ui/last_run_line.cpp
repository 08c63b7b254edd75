// The line and the list of the last copy run, in Japanese, with the run's local time.
#include "last_run_line.h"

#include <ctime>

namespace qm {

namespace {

std::string n(std::int64_t value) {
  return std::to_string(value);
}

std::string twoDigits(int value) {
  std::string text = value < 10 ? "0" : "";
  return text += std::to_string(value);
}

// "12月8日 14:03"
std::string dayAndTime(const LocalTime& t) {
  return n(t.month) + "月" + n(t.day) + "日 " + n(t.hour) + ":" + twoDigits(t.minute);
}

std::string tookText(std::int64_t ms) {
  if (ms < 1000) return "1 秒未満";
  const std::int64_t s = ms / 1000;
  if (s < 60) return n(s) + " 秒";
  if (s < 3600) return n(s / 60) + " 分 " + n(s % 60) + " 秒";
  return n(s / 3600) + " 時間 " + n(s / 60 % 60) + " 分";
}

// "<file>（<cause>）", whichever of the two the run has; its number where it has neither.
std::string failureText(const LastRun& run) {
  const std::string cause = run.cause.empty() ? "エラー " + n(run.number) : run.cause;
  return run.file.empty() ? cause : run.file + "（" + cause + "）";
}

// The complete run's files: all it found, and those written, read back and left out, the
// last two only where there were any.
std::string completeText(const copy::CopyCounts& c) {
  std::string text = grouped(c.found) + " ファイル（コピー " + grouped(c.written);
  if (c.readBack > 0) text += "、確認 " + grouped(c.readBack);
  if (c.repaired > 0) text += "、修復 " + grouped(c.repaired);
  if (c.leftOut > 0) text += "、除外 " + grouped(c.leftOut);
  return text + "）";
}

std::string countsText(const copy::CopyCounts& c) {
  return "ファイル " + grouped(c.found) + "（" + byteSize(c.bytesFound) + "）：コピー " +
         grouped(c.written) + "、未変更 " + grouped(c.unchanged) + "、確認 " + grouped(c.readBack) +
         (c.repaired > 0 ? "、修復 " + grouped(c.repaired) : std::string()) + "、除外 " +
         grouped(c.leftOut) + "、失敗 " + grouped(c.failed);
}

}  // namespace

LocalTime localTimeOf(std::int64_t secondsSinceEpoch) {
  const auto seconds = static_cast<std::time_t>(secondsSinceEpoch);
  // Called on the windows' thread alone, so the one shared result is safe.
  const std::tm* t = std::localtime(&seconds);
  if (!t) return {};
  return {t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec};
}

CopyOutcome lastRunOutcome(const LastRun& run, const LocalTime& started) {
  CopyOutcome outcome;
  outcome.line = "前回 " + dayAndTime(started);
  if (run.complete()) {
    outcome.line += " 完了：" + completeText(run.counts);
  } else {
    outcome.line += " 失敗：" + failureText(run);
    if (run.counts.failed > 1) outcome.line += " ほか " + grouped(run.counts.failed - 1) + " 件";
  }
  outcome.details =
      "コピー元：" + run.source + "\nコピー先：" + run.destination + "\n開始：" + n(started.year) +
      "年" + dayAndTime(started) + ":" + twoDigits(started.second) + "　所要時間：" +
      tookText(run.tookMs) + "\n結果：" +
      (run.complete() ? "完了" : "エラー " + n(run.number) + "　" + failureText(run)) + "\n" +
      countsText(run.counts);
  return outcome;
}

}  // namespace qm
