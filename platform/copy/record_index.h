// The index that ends a record: each file's key and stamps, read instead of its lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "copy/old_index.h"

namespace qm::copy {

// A hash of `bytes` that stays the same from build to build and run to run (the standard
// library's may not): the keys of paths, and the sums of lines, are kept in the record.
std::uint64_t stableHash(std::string_view bytes);

// Folds `value` into `hash`: a multiplication carries each bit of it to the higher ones,
// the shift brings them down again.
inline std::uint64_t foldHash(std::uint64_t hash, std::uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15ULL;
  return hash ^ (hash >> 29);
}

// Moves every bit of `hash` into every bit of the result.
inline std::uint64_t finishHash(std::uint64_t hash) {
  hash ^= hash >> 31;
  hash *= 0xBF58476D1CE4E5B9ULL;
  hash ^= hash >> 27;
  hash *= 0x94D049BB133111EBULL;
  return hash ^ (hash >> 31);
}

// What a line of the record (without its end) adds to the sum of its lines. The sum is
// kept in the index and compared as the lines are read again: a line changed, lost or
// added changes it (but for one chance in 2^64).
inline std::uint64_t lineSum(std::string_view line) {
  return stableHash(line);
}

// A record whose header says so ends with an index: comment lines ("# index\t") of its
// files' keys and stamps (KnownFile, in hexadecimal, 64 files a line), then one that counts
// the files and the lines before the index, sums those lines, and sums the index's own.
// The next run of the job reads the index instead of parsing every line, where the sums
// say that nothing changed; `sha256sum -c` passes over it as over every comment line.
class IndexWriter {
 public:
  explicit IndexWriter(std::function<void(std::string_view)> out) : out_(std::move(out)) {}
  void add(const KnownFile& file);
  // The last line: `lines` lines before the index, summing `sum`.
  void finish(std::uint64_t lines, std::uint64_t sum);

 private:
  void flush();

  std::function<void(std::string_view)> out_;
  std::string line_;
  int inLine_ = 0;
  std::uint64_t files_ = 0, indexSum_ = 0;
};

// Reads an index a line at a time.
class IndexReader {
 public:
  // Whether `line` is one of an index's.
  static bool isIndexLine(std::string_view line);
  // Takes a line of the index, handing `file` each file in it; false where the line is
  // none of an index's or is damaged (then nothing read is to be trusted).
  bool take(std::string_view line, const std::function<void(const KnownFile&)>& file);
  // Whether the index was read to its last line, and that line says that it is whole and
  // that the `lines` lines before it summed `sum`.
  bool matches(std::uint64_t lines, std::uint64_t sum) const;

 private:
  bool fail();

  bool ended_ = false, damaged_ = false;
  std::uint64_t files_ = 0, indexSum_ = 0;
  std::uint64_t endFiles_ = 0, endLines_ = 0, endSum_ = 0, endIndexSum_ = 0;
};

}  // namespace qm::copy
