// Which old copies a run reads back again: those a read-back passed longest ago, in turn.
#include <algorithm>

#include "copy/run_record.h"
#include "os/paths.h"

namespace qm::copy {

namespace {

// A time of a read-back as kept: seconds since 1970 in 32 bits, which last until 2106.
std::uint32_t verifiedOf(std::int64_t seconds) {
  return seconds <= 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(seconds, 0xFFFFFFFF));
}

// An old copy that may be chosen: when a read-back last passed it, and its place among the
// old record's files, which orders those passed at the same time.
struct Candidate {
  std::uint32_t verified;
  std::uint64_t line;
  std::uint64_t size;
  OldLine known;
  bool operator<(const Candidate& other) const {
    return verified != other.verified ? verified < other.verified : line < other.line;
  }
};

}  // namespace

void RunRecord::eachOldFile(const std::function<void(const LineSink&)>& old,
                            const std::function<void(const RecordedFile&)>& visit) const {
  int skipped = 0;
  RecordReader reader(job_.top);
  LinesOf lines([&](std::string_view line) {
    if (skipped < kHeaderLines) {
      ++skipped;
      return;
    }
    if (IndexReader::isIndexLine(line)) return;  // the index ends the files' lines
    if (const RecordedFile* file = reader.take(line)) visit(*file);
  });
  old([&lines](std::string_view piece) { lines(piece); });
  lines.finish();
  if (const RecordedFile* file = reader.finish()) visit(*file);
}

// The batch: the first of those not chosen yet, in turn, kept in a heap whose top is the
// last of them.
bool RunRecord::chooseBatch(const std::function<bool(std::uint64_t size)>& fits,
                            const std::function<void(const LineSink&)>& old, std::size_t& chosen) {
  std::vector<Candidate> batch;
  std::uint64_t line = 0;
  eachOldFile(old, [&](const RecordedFile& file) {
    const std::uint64_t at = line++;
    const auto known = old_.find(keyOf(file.relative));
    if (!known || !known->file.kept() || !known->file.verified() || known->file.chosen()) return;
    const Candidate candidate{verifiedOf(file.verified), at, file.copy.size, *known};
    if (batch.size() == choiceBatch_ && !(candidate < batch.front())) return;
    batch.push_back(candidate);
    std::push_heap(batch.begin(), batch.end());
    if (batch.size() <= choiceBatch_) return;
    std::pop_heap(batch.begin(), batch.end());
    batch.pop_back();
  });
  std::sort_heap(batch.begin(), batch.end());
  for (Candidate& candidate : batch) {
    if (!fits(candidate.size)) return false;
    candidate.known.file.choose();
    old_.store(candidate.known);
    ++chosen;
  }
  return batch.size() == choiceBatch_;
}

void RunRecord::chooseOldCopies(const std::function<bool(std::uint64_t size)>& fits,
                                const std::function<void(const LineSink&)>& old,
                                WrittenFiles& into) {
  waitRead();
  if (old_.empty()) return;
  std::size_t chosen = 0;
  while (chooseBatch(fits, old, chosen)) {
  }
  if (chosen == 0) return;
  // Their paths and stamps are in the old record's lines only.
  eachOldFile(old, [&](const RecordedFile& file) {
    auto known = old_.find(keyOf(file.relative));
    if (!known || !known->file.picked()) return;
    known->file.unpick();
    old_.store(*known);
    std::string relative = file.relative;
    if (kPathSeparator != '/') std::replace(relative.begin(), relative.end(), '/', kPathSeparator);
    into.add(relative, file.source, file.copy);
  });
}

}  // namespace qm::copy
