// The figures, text, bar position and place of a running copy's progress.
#include "progress_view.h"

#include <algorithm>

namespace qm {

std::string grouped(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

ProgressFigures readProgress(const CopyProgress& progress) {
  ProgressFigures f;
  if (progress.readingBack.load(std::memory_order_relaxed)) {
    // The totals were set before the flag.
    f.walkDone = f.readingBack = true;
    f.filesDone = progress.filesChecked.load(std::memory_order_relaxed);
    f.bytesDone = progress.bytesChecked.load(std::memory_order_relaxed);
    f.filesFound = std::max(progress.filesToCheck.load(std::memory_order_relaxed), f.filesDone);
    f.bytesFound = std::max(progress.bytesToCheck.load(std::memory_order_relaxed), f.bytesDone);
    return f;
  }
  // The walk's flag first: once it is seen set, the found figures read after it are final.
  f.walkDone = progress.walkDone.load(std::memory_order_relaxed);
  f.filesDone = progress.filesDone.load(std::memory_order_relaxed);
  f.bytesDone = progress.bytesDone.load(std::memory_order_relaxed);
  f.filesFound = std::max(progress.filesFound.load(std::memory_order_relaxed), f.filesDone);
  f.bytesFound = std::max(progress.bytesFound.load(std::memory_order_relaxed), f.bytesDone);
  return f;
}

namespace {

std::string lineOf(const copy::Problem& problem) {
  return problem.file.empty() ? problem.cause : problem.file + ": " + problem.cause;
}

std::string more(std::size_t others) {
  return others == 0 ? std::string() : " ほか " + grouped(others) + " 件";
}

// The list behind the line: as many as a tooltip shows at once, and how many more.
constexpr std::size_t kDetailLines = 20;

void listInto(std::string& details, std::size_t& lines, const std::vector<copy::Problem>& problems,
              std::size_t count) {
  std::size_t listed = 0;
  for (; listed < problems.size() && lines < kDetailLines; ++listed, ++lines) {
    if (!details.empty()) details += '\n';
    details += lineOf(problems[listed]);
  }
  if (count > listed) details += (details.empty() ? "…" : "\n…") + more(count - listed);
}

}  // namespace

CopyOutcome copyOutcome(const copy::CopyResult& result) {
  const auto& failures = result.failures;
  const auto& leftOut = result.leftOut;
  CopyOutcome outcome;
  if (!failures.empty()) {
    outcome.line = lineOf(failures.front()) + more(result.counts.failed - 1);
  } else if (!leftOut.empty()) {
    outcome.line = lineOf(leftOut.front()) + more(result.counts.leftOut - 1);
  } else if (!result.repaired.empty()) {
    outcome.line = lineOf(result.repaired.front()) + more(result.counts.repaired - 1);
  }
  std::size_t lines = 0;
  listInto(outcome.details, lines, failures, result.counts.failed);
  listInto(outcome.details, lines, leftOut, result.counts.leftOut);
  listInto(outcome.details, lines, result.repaired, result.counts.repaired);
  return outcome;
}

std::string progressText(const ProgressFigures& f) {
  if (!f.walkDone && f.filesFound == 0) return "コピーしています…";
  std::string text = std::string(f.readingBack ? "確認しています… " : "") + grouped(f.filesDone) +
                     " / " + grouped(f.filesFound) + " ファイル　" + byteSize(f.bytesDone) + " / " +
                     byteSize(f.bytesFound);
  if (!f.walkDone) text += "（集計中）";
  return text;
}

int progressPermille(const ProgressFigures& f) {
  if (!f.walkDone) return -1;
  if (f.bytesFound > 0) return static_cast<int>(f.bytesDone * 1000 / f.bytesFound);
  if (f.filesFound > 0) return static_cast<int>(f.filesDone * 1000 / f.filesFound);
  return 1000;
}

Rect progressArea(const std::vector<Rect>& controls, int clientWidth, int clientHeight, int margin,
                  int maxHeight) {
  // Vertical spans taken by controls, clipped to the client area, in top order.
  std::vector<std::pair<int, int>> taken;
  int left = clientWidth, right = 0;
  for (const Rect& c : controls) {
    if (c.empty()) continue;
    taken.emplace_back(std::clamp(c.top, 0, clientHeight), std::clamp(c.bottom(), 0, clientHeight));
    left = std::min(left, c.left);
    right = std::max(right, c.left + c.width);
  }
  std::sort(taken.begin(), taken.end());
  int bandTop = 0, bandBottom = 0, freeFrom = 0;
  for (const auto& [top, bottom] : taken) {
    if (top - freeFrom > bandBottom - bandTop) bandTop = freeFrom, bandBottom = top;
    freeFrom = std::max(freeFrom, bottom);
  }
  if (clientHeight - freeFrom > bandBottom - bandTop) bandTop = freeFrom, bandBottom = clientHeight;

  // Across the width the controls span (the whole client area when there are none).
  if (left >= right) left = 0, right = clientWidth;
  left = std::max(left, margin);
  right = std::min(right, clientWidth - margin);
  const int height = std::min(bandBottom - bandTop - 2 * margin, maxHeight);
  if (height <= 0 || right <= left) return {};
  return {left, bandTop + (bandBottom - bandTop - height) / 2, right - left, height};
}

}  // namespace qm
