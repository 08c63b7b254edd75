// The copy's record on its destination: its format, written and read a line at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "copy/file_stamp.h"
#include "copy/result.h"

namespace qm::copy {

// One file of the copy: how its source was when copied, how the copy was left, and what
// its bytes were where they were read back.
struct RecordedFile {
  std::string relative;  // below the copy's top folder, folders separated by "/"
  FileStamp source;
  FileStamp copy;
  std::string sha256;         // 64 hexadecimal digits; empty where never read back
  std::int64_t verified = 0;  // seconds since 1970 of the last read-back that passed; 0: none
  bool operator==(const RecordedFile&) const = default;
};

// The job a record belongs to: a record of another job, or from another machine, is never
// trusted.
struct RecordJob {
  std::string source;
  std::string destination;  // the copy's top folder
  std::string machine;
  std::string top;  // the top folder's name, as the hash lines begin
  bool operator==(const RecordJob&) const = default;
};

// The number of a run that has not ended: the record a run leaves as it starts.
inline constexpr int kRunNotEnded = -1;

// The job a record belongs to and the run that left it.
struct RecordHeader {
  RecordJob job;
  std::int64_t started = 0;  // seconds since 1970
  std::int64_t ended = 0;
  int number = 0;    // the run's error number, 0 where it completed
  std::string path;  // the file or folder the error names
  CopyCounts counts;
  bool indexed = false;  // the record ends with an index of its files (record_index.h)
  bool operator==(const RecordHeader&) const = default;
};

// The record is a text file that `sha256sum -c`, run in the folder that holds it, reads as
// a list of hashes: the header and each file's stamps are comment lines ("#"), which it
// passes over; a file read back also has its hash line, naming it below the top folder.
std::string headerLines(const RecordHeader& header);
std::string fileLines(const RecordedFile& file, std::string_view top);

// Reads the header's lines; nullopt where they are not a record of this version.
std::optional<RecordHeader> parseHeader(std::string_view lines);

// Reads a record a line at a time, after its header: each call with one line (without
// its end) returns a file once its lines are complete.
class RecordReader {
 public:
  explicit RecordReader(std::string top) : top_(std::move(top)) {}
  // A line that fits no file's lines makes the record damaged from there on. Returns the
  // file whose lines the line completes, valid until the next call; null for none.
  const RecordedFile* take(std::string_view line);
  // Call once the last line is taken: the file still waiting for a hash line, if any.
  const RecordedFile* finish();
  bool damaged() const { return damaged_; }

 private:
  bool takeHash(std::string_view line);

  std::string top_;
  // The file whose lines are being read, and the one they completed; reused line after
  // line, so that a long record is read without an allocation per line.
  RecordedFile pending_, done_;
  bool hasPending_ = false;
  bool damaged_ = false;
  std::string name_;
};

// The path of the file a record's "# file" line is of; nullopt for any other line.
std::optional<std::string> fileLineRelative(std::string_view line);

// A file name as a line of the record holds it, and back: "\\", a line end and a tab
// are escaped.
std::string escapeName(std::string_view name);
std::optional<std::string> unescapeName(std::string_view text);

}  // namespace qm::copy
