// What every backend shows of a running copy: the figures, their line of text, the bar's
// position and the free strip of a window where they go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "copy/progress.h"

namespace qm {

// A copy's figures read once. Done never exceeds found here, although the counters
// are read one by one while the copy raises them.
struct ProgressFigures {
  std::uint64_t filesDone = 0;
  std::uint64_t filesFound = 0;
  std::uint64_t bytesDone = 0;
  std::uint64_t bytesFound = 0;
  bool walkDone = false;
};

ProgressFigures readProgress(const CopyProgress& progress);

// The line shown beside the bar: files and bytes done of those found, with a note while
// the walk still runs ahead (the totals still grow), or a plain note while nothing has
// been counted yet.
std::string progressText(const ProgressFigures& figures);

// The bar's position in thousandths, by bytes (by files when every file is empty); -1
// while the total is not known yet, which the bar shows as busy without a position.
int progressPermille(const ProgressFigures& figures);

// "12.3 MB", "999 KB", "0 バイト": binary units, one decimal below ten.
std::string byteSize(std::uint64_t bytes);

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
