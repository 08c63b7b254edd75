// The last copy run of a job: what it was, how it ended, and the small file that keeps it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "copy/result.h"

namespace qm {

// One copy run as the file keeps it.
struct LastRun {
  std::string source;        // the job as the copy tool ran it: the source folder
  std::string destination;   // and the effective destination
  std::int64_t started = 0;  // seconds since 1970-01-01 UTC
  std::int64_t tookMs = 0;   // how long the run took
  int number = 0;            // 0: the run was complete; else its error number
  std::string file;          // the file or folder the error names
  std::string cause;         // what went wrong with it
  copy::CopyCounts counts;
  bool complete() const { return number == 0; }
  bool operator==(const LastRun&) const = default;
};

// The run that returned `result`: its error names the first file that failed (the one that
// stopped the copy first) with its cause, or the error's own path and description where
// no file failed.
LastRun lastRunOf(std::string_view source, std::string_view destination, std::int64_t started,
                  std::int64_t tookMs, const copy::CopyResult& result);

// The file's text: a first line with the format's version, one "key=value" line per
// field, and a last line "end". UTF-8; a percent sign, control characters and, in a value
// that is not UTF-8, every byte above ASCII are written as "%HH", so any path comes back
// byte for byte.
std::string formatLastRun(const LastRun& run);

// The run in `text`; nothing for text of another version, a field missing, repeated or
// unknown, a number that does not read, a bad escape, or text cut short.
std::optional<LastRun> parseLastRun(std::string_view text);

// The run the file at `path` keeps; nothing when there is none, or it cannot be read, or
// it is damaged. Never throws.
std::optional<LastRun> readLastRun(const std::string& path);

// Replaces the file at `path` with `run` as one step (a temporary file beside it renamed
// over it). False when it could not; nothing is reported, and the old file stays.
bool writeLastRun(const std::string& path, const LastRun& run);

}  // namespace qm
