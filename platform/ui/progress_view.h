// What every backend shows of a running copy: the figures, their line of text, the bar's
// position and the free strip of a window where they go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "copy/progress.h"
#include "copy/report.h"
#include "copy/result.h"
#include "errors.h"

namespace qm {

// A copy's figures read once. Done never exceeds found here, although the counters
// are read one by one while the copy raises them. While the copy reads back what it
// wrote, the figures are those of the read-back: files and bytes read back of those to.
struct ProgressFigures {
  std::uint64_t filesDone = 0;
  std::uint64_t filesFound = 0;
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesFound = 0;
  bool walkDone = false;
  bool readingBack = false;
};

ProgressFigures readProgress(const CopyProgress& progress);

// The line shown beside the bar: files and bytes done of those found, with a note while
// the walk still runs ahead (the totals still grow), or a plain note while nothing has
// been counted yet; during the read-back, what is read back, after its own note.
std::string progressText(const ProgressFigures& figures);

// The bar's position in thousandths, by bytes (by files when every file is empty); -1
// while the total is not known yet, which the bar shows as busy without a position.
int progressPermille(const ProgressFigures& figures);

// A count with a comma between each three digits: 1234567 → "1,234,567".
std::string grouped(std::uint64_t n);

// The sizes shown are the ones the copy's causes give.
using copy::byteSize;

// What a window shows where the progress was once a copy has ended: one line (the first
// file that failed, or else the first left out, with its cause and how many more there
// are) and the whole list behind it. Empty after a copy with nothing to tell.
struct CopyOutcome {
  std::string line;
  std::string details;
  bool empty() const { return line.empty(); }
  bool operator==(const CopyOutcome&) const = default;
};

// The outcome of a copy, from what it returned.
CopyOutcome copyOutcome(const copy::CopyResult& result);

// What screen readers call the progress bar.
inline constexpr const char* kProgressBarName = "コピーの進み具合";

// How long a copy runs before its progress appears, so that a short copy shows nothing
// that flickers; and how often the figures are read while it shows.
inline constexpr int kProgressDelayMs = 250;
inline constexpr int kProgressIntervalMs = 100;

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  int bottom() const { return top + height; }
  bool empty() const { return width <= 0 || height <= 0; }
  bool operator==(const Rect&) const = default;
};

// Where a window shows the progress without covering or moving any control: the
// tallest band across the client area that no control reaches into, less a margin all
// round, at most `maxHeight` high and centred in the band. Empty when no band is free.
// Units are the caller's (pixels or twips), the same for every argument.
Rect progressArea(const std::vector<Rect>& controls, int clientWidth, int clientHeight, int margin,
                  int maxHeight);

}  // namespace qm
