// The figures, text, bar position and place of a running copy's progress.
#include "progress_view.h"

#include <algorithm>
#include <cstdio>

namespace qm {

namespace {

// 1234567 → "1,234,567".
std::string grouped(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

ProgressFigures readProgress(const CopyProgress& progress) {
  ProgressFigures f;
  // The walk's flag first: once it is seen set, the found figures read after it are final.
  f.walkDone = progress.walkDone.load(std::memory_order_relaxed);
  f.filesDone = progress.filesDone.load(std::memory_order_relaxed);
  f.bytesDone = progress.bytesDone.load(std::memory_order_relaxed);
  f.filesFound = std::max(progress.filesFound.load(std::memory_order_relaxed), f.filesDone);
  f.bytesFound = std::max(progress.bytesFound.load(std::memory_order_relaxed), f.bytesDone);
  return f;
}

std::string byteSize(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " バイト";
  static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  // The thresholds sit where the rounding would show "1024" or "10.0".
  while (value >= 1023.5 && unit < 4) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 9.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
  return text;
}

std::string progressText(const ProgressFigures& f) {
  if (!f.walkDone && f.filesFound == 0) return "コピーしています…";
  std::string text = grouped(f.filesDone) + " / " + grouped(f.filesFound) + " ファイル　" +
                     byteSize(f.bytesDone) + " / " + byteSize(f.bytesFound);
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
