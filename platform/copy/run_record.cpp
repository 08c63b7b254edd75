// What one run knows of the copy's record, and the record it leaves.
#include "copy/run_record.h"

#include <algorithm>

#include "errors.h"
#include "os/paths.h"
#include "os/process.h"
#include "os/scratch.h"
#include "os/textfile.h"

namespace qm::copy {

namespace {

// The header's lines before the first file's.
constexpr int kHeaderLines = 4;

std::size_t lastSeparator(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t own = path.rfind(kPathSeparator);
  if (slash == std::string_view::npos) return own;
  return own == std::string_view::npos ? slash : std::max(slash, own);
}

}  // namespace

RunRecord::RunRecord(RecordJob job)
    : job_(std::move(job)), reader_(job_.top), lines_(openScratchFile()) {}

RunRecord::~RunRecord() {
  if (lines_) std::fclose(lines_);
}

std::uint64_t RunRecord::keyOf(std::string_view relative) {
  return std::hash<std::string_view>{}(relative);
}

void RunRecord::takeOld(std::string_view line) {
  if (headerLines_ < kHeaderLines) {
    headerText_.append(line).push_back('\n');
    ++headerLines_;
    return;
  }
  if (auto file = reader_.take(line))
    old_.insert_or_assign(keyOf(file->relative), std::move(*file));
}

void RunRecord::endOfOld() {
  if (auto file = reader_.finish()) old_.insert_or_assign(keyOf(file->relative), std::move(*file));
  const auto header = parseHeader(headerText_);
  trusted_ = headerLines_ == kHeaderLines && header && header->job == job_ && !reader_.damaged();
  if (!trusted_) old_.clear();
  headerText_.clear();
}

const RecordedFile* RunRecord::find(std::string_view relative) const {
  const auto found = old_.find(keyOf(relative));
  return found != old_.end() && found->second.relative == relative ? &found->second : nullptr;
}

void RunRecord::add(const RecordedFile& file) {
  const std::string text = fileLines(file, job_.top);
  std::lock_guard lock(mutex_);
  given_.insert(keyOf(file.relative));
  if (lines_ && heldLines_.empty() &&
      std::fwrite(text.data(), 1, text.size(), lines_) == text.size())
    return;
  heldLines_ += text;  // the scratch volume is full: the rest stays in memory
}

void RunRecord::produce(const RecordHeader& header, bool keepOld,
                        const std::function<void(const LineSink&)>& old, const LineSink& out) {
  std::lock_guard lock(mutex_);
  out(headerLines(header));
  if (lines_ && std::fflush(lines_) == 0 && std::fseek(lines_, 0, SEEK_SET) == 0) {
    char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, lines_)) > 0;)
      out(std::string_view(buffer, got));
    std::fseek(lines_, 0, SEEK_END);
  }
  out(heldLines_);
  if (!keepOld || !trusted_) return;
  RecordReader again(job_.top);
  int skipped = 0;
  const auto emit = [&](const std::optional<RecordedFile>& file) {
    if (file && !given_.contains(keyOf(file->relative))) out(fileLines(*file, job_.top));
  };
  old([&](std::string_view line) {
    if (skipped < kHeaderLines) {
      ++skipped;
      return;
    }
    emit(again.take(line));
  });
  emit(again.finish());
}

std::string recordRelative(std::string relative) {
  if (kPathSeparator != '/') std::replace(relative.begin(), relative.end(), kPathSeparator, '/');
  return relative;
}

RecordJob recordJobOf(std::string source, std::string destination) {
  const std::size_t at = lastSeparator(destination);
  std::string top = at == std::string::npos ? destination : destination.substr(at + 1);
  return {std::move(source), std::move(destination), machineName(), std::move(top)};
}

std::string recordPathOf(std::string_view destination) {
  const std::size_t at = lastSeparator(destination);
  const std::string_view folder =
      at == std::string_view::npos ? "." : destination.substr(0, at + 1);
  const std::string_view top =
      at == std::string_view::npos ? destination : destination.substr(at + 1);
  return std::string(folder) + (at == std::string_view::npos ? "/" : "") + "." + std::string(top) +
         ".sha256";
}

bool readRecordFile(const std::string& path, const LineSink& line) {
  std::string partial;
  try {
    const bool found = readFileInPieces(path, [&](std::string_view piece) {
      for (std::size_t end; (end = piece.find('\n')) != std::string_view::npos;) {
        partial.append(piece.substr(0, end));
        line(partial);
        partial.clear();
        piece.remove_prefix(end + 1);
      }
      partial.append(piece);
    });
    if (!found) return false;
  } catch (const RuntimeError&) {
    return false;
  }
  if (!partial.empty()) line(partial);
  return true;
}

void writeRecordFile(const std::string& path, const std::function<void(const LineSink&)>& produce) {
  replaceFileInPieces(path, produce, true);
}

}  // namespace qm::copy
