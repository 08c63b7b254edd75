// How far a folder copy is: counters the copy engine raises and a window reads.
#pragma once

#include <atomic>
#include <cstdint>

#include "copy/report.h"

namespace qm {

// Written by the copy's threads and read by the window's thread at any time, so every
// field is atomic; relaxed order is enough, since a reader only shows the figures.
// "Found" grows while the walk runs ahead of the copy; once `walkDone` is set the found
// figures are the true totals. A file that is left as it is (unchanged) counts as done
// with its whole size, so that done reaches the totals at the end of a complete copy.
struct CopyProgress {
  std::atomic<std::uint64_t> filesFound{0};
  std::atomic<std::uint64_t> bytesFound{0};
  std::atomic<std::uint64_t> filesDone{0};
  std::atomic<std::uint64_t> bytesDone{0};
  // Files whose bytes this run wrote; the other files done were left as they were.
  std::atomic<std::uint64_t> filesWritten{0};
  std::atomic<bool> walkDone{false};
  // The read-back once the copy is written: set when it begins, with the files and bytes
  // to read back (known in full by then) and those read back so far.
  std::atomic<bool> readingBack{false};
  std::atomic<std::uint64_t> filesToCheck{0};
  std::atomic<std::uint64_t> bytesToCheck{0};
  std::atomic<std::uint64_t> filesChecked{0};
  std::atomic<std::uint64_t> bytesChecked{0};
  // What could not be copied and what was left out, with the reasons, for the window to
  // show once the copy has ended.
  copy::CopyReport report;

  void reset() {
    filesFound = 0;
    bytesFound = 0;
    filesDone = 0;
    bytesDone = 0;
    filesWritten = 0;
    walkDone = false;
    readingBack = false;
    filesToCheck = 0;
    bytesToCheck = 0;
    filesChecked = 0;
    bytesChecked = 0;
    report.clear();
  }
};

}  // namespace qm
