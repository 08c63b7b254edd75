// The record as a file beside the copy: its name and job, read in pieces and cut into
// lines, and replaced in one step.
#include <algorithm>

#include "copy/run_record.h"
#include "errors.h"
#include "os/paths.h"
#include "os/process.h"
#include "os/textfile.h"

namespace qm::copy {

namespace {

// What the writer gathers before it writes: the record's many short pieces go to the file
// in large writes.
constexpr std::size_t kWriteBytes = std::size_t{1} << 20;

std::size_t lastSeparator(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t own = path.rfind(kPathSeparator);
  if (slash == std::string_view::npos) return own;
  return own == std::string_view::npos ? slash : std::max(slash, own);
}

}  // namespace

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

bool readRecordFile(const std::string& path, const LineSink& piece) {
  try {
    return readFileInPieces(path, piece);
  } catch (const RuntimeError&) {
    return false;
  }
}

void LinesOf::operator()(std::string_view piece) {
  for (std::size_t end; (end = piece.find('\n')) != std::string_view::npos;) {
    // A line within the piece is handed on where it lies; only one that began in the piece
    // before is put together.
    if (partial_.empty()) {
      line_(piece.substr(0, end));
    } else {
      partial_.append(piece.substr(0, end));
      line_(partial_);
      partial_.clear();
    }
    piece.remove_prefix(end + 1);
  }
  partial_.append(piece);
}

void LinesOf::finish() {
  if (!partial_.empty()) line_(partial_);
  partial_.clear();
}

bool linesOf(const std::function<bool(const LineSink&)>& read, const LineSink& line) {
  LinesOf lines(line);
  const bool found = read([&lines](std::string_view piece) { lines(piece); });
  lines.finish();
  return found;
}

void writeRecordFile(const std::string& path, const std::function<void(const LineSink&)>& produce) {
  replaceFileInPieces(
      path,
      [&](const LineSink& write) {
        std::string buffer;
        buffer.reserve(kWriteBytes);
        produce([&](std::string_view piece) {
          // A large piece (the old record's lines, passed on as they are) goes as it is,
          // after what the buffer holds.
          const bool large = piece.size() >= kWriteBytes / 16;
          if (!buffer.empty() && (large || buffer.size() + piece.size() > kWriteBytes)) {
            write(buffer);
            buffer.clear();
          }
          if (large)
            write(piece);
          else
            buffer.append(piece);
        });
        write(buffer);
      },
      true);
}

}  // namespace qm::copy
