// What a folder copy returns: how it ended, what it counted, what it could not copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "copy/options.h"
#include "copy/progress.h"
#include "copy/report.h"
#include "errors.h"

namespace qm::copy {

// The files of one run, by what became of them.
struct CopyCounts {
  std::uint64_t found = 0;       // regular files of the source (links followed to one)
  std::uint64_t bytesFound = 0;  // their sizes as listed
  std::uint64_t written = 0;     // files whose bytes this run wrote
  std::uint64_t unchanged = 0;   // files the destination held already and kept
  std::uint64_t leftOut = 0;     // entries the copy went on without, each with its reason
  std::uint64_t failed = 0;      // entries that could not be copied
  std::uint64_t readBack = 0;    // files read back from the device after the copy
  std::uint64_t repaired = 0;    // copies kept from earlier runs found damaged and written again
  bool operator==(const CopyCounts&) const = default;
};

struct CopyResult {
  // The run's error, as the windows report it: 0 where the copy is complete, else its
  // number, description and the file or folder it names.
  int number = 0;
  std::string description;
  std::string path;
  CopyCounts counts;
  // The first entries that failed (the one that stopped the copy first) and that were
  // left out, with their causes; the counts above hold how many there were in all.
  std::vector<Problem> failures;
  std::vector<Problem> leftOut;
  std::vector<Problem> repaired;

  bool complete() const { return number == 0; }
  RuntimeError error() const { return RuntimeError(number, description, path); }
};

// The result of a run that counted into `progress` and, unless `failure` is null, failed
// with it; a failure the report does not hold (one before the copy began) is listed by its
// own path and number.
CopyResult resultOf(const CopyProgress& progress, const RuntimeError* failure);

// Copies the folder `source` with everything below it to `destination` (see
// copy/copy_folder.h for what the two paths mean and the error numbers), counting into
// `observer` where one is given, so that a window can show how far the copy is.
CopyResult copyFolder(std::string_view source, std::string_view destination,
                      const CopyOptions& options = {}, CopyProgress* observer = nullptr);

}  // namespace qm::copy
