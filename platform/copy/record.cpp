// The copy's record: its header and file lines, written and read back.
#include "copy/record.h"

#include <charconv>
#include <utility>
#include <vector>

namespace qm::copy {

namespace {

// The first line; a record that ends with an index says so by its version.
constexpr std::string_view kMagic = "# qm copy record 1";
constexpr std::string_view kMagicIndexed = "# qm copy record 2";
constexpr std::string_view kJob = "# job\t";
constexpr std::string_view kRun = "# run\t";
constexpr std::string_view kCounts = "# counts\t";
constexpr std::string_view kFile = "# file\t";

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find(separator, from);
    parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

template <typename Number>
bool parseNumber(std::string_view text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

template <typename... Numbers>
bool parseNumbers(std::string_view text, Numbers&... numbers) {
  const std::vector<std::string_view> parts = split(text, ' ');
  if (parts.size() != sizeof...(numbers)) return false;
  std::size_t i = 0;
  return (parseNumber(parts[i++], numbers) && ...);
}

// Appends `number` and then `after` to `text`, without a string of its own.
template <typename Number>
void appendNumber(std::string& text, Number number, char after) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  text.append(digits, end).push_back(after);
}

void appendStamp(std::string& text, const FileStamp& state, char after) {
  appendNumber(text, state.size, ' ');
  appendNumber(text, state.modified, ' ');
  appendNumber(text, state.changed, ' ');
  appendNumber(text, state.identity, after);
}

// Where the first character that a record escapes stands in `text`; its size where none.
std::size_t firstEscaped(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] != '\\' && text[i] != '\n' && text[i] != '\t') ++i;
  return i;
}

void appendEscaped(std::string& text, std::string_view name) {
  const std::size_t plain = firstEscaped(name);
  text.append(name.substr(0, plain));
  for (char c : name.substr(plain)) {
    switch (c) {
      case '\\': text += "\\\\"; break;
      case '\n': text += "\\n"; break;
      case '\t': text += "\\t"; break;
      default: text += c;
    }
  }
}

// Four numbers separated by single spaces, read where they stand.
bool parseStamp(std::string_view text, FileStamp& state) {
  const char* at = text.data();
  const char* const end = at + text.size();
  const auto next = [&](auto& number, bool last) {
    const auto [after, error] = std::from_chars(at, end, number);
    if (error != std::errc() || after == at) return false;
    at = after;
    if (last) return at == end;
    if (at == end || *at != ' ') return false;
    ++at;
    return true;
  };
  return next(state.size, false) && next(state.modified, false) && next(state.changed, false) &&
         next(state.identity, true);
}

// The name in `text` as escapeName wrote it, into `name`; false where it is not one.
bool unescapeInto(std::string_view text, std::string& name) {
  // Most names escape nothing: they are taken whole.
  const std::size_t plain = firstEscaped(text);
  name.assign(text.substr(0, plain));
  for (std::size_t i = plain; i < text.size(); ++i) {
    if (text[i] == '\t' || text[i] == '\n') return false;
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': name += '\\'; break;
      case 'n': name += '\n'; break;
      case 't': name += '\t'; break;
      default: return false;
    }
  }
  return true;
}

// The name as `sha256sum` writes it: with "\\" and line ends escaped, the line then
// beginning with a backslash.
std::string hashLine(std::string_view sha256, std::string_view name) {
  std::string escaped;
  bool any = false;
  for (char c : name) {
    if (c == '\\' || c == '\n') {
      escaped += c == '\\' ? "\\\\" : "\\n";
      any = true;
    } else {
      escaped += c;
    }
  }
  std::string line = any ? "\\" : "";
  line.append(sha256).append("  ").append(escaped).push_back('\n');
  return line;
}

bool isHash(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

std::string escapeName(std::string_view name) {
  std::string text;
  appendEscaped(text, name);
  return text;
}

std::optional<std::string> unescapeName(std::string_view text) {
  std::string name;
  if (!unescapeInto(text, name)) return std::nullopt;
  return name;
}

std::string headerLines(const RecordHeader& h) {
  const CopyCounts& c = h.counts;
  return std::string(h.indexed ? kMagicIndexed : kMagic) + '\n' + std::string(kJob) +
         escapeName(h.job.source) + '\t' + escapeName(h.job.destination) + '\t' +
         escapeName(h.job.machine) + '\t' + escapeName(h.job.top) + '\n' + std::string(kRun) +
         std::to_string(h.started) + '\t' + std::to_string(h.ended) + '\t' +
         std::to_string(h.number) + '\t' + escapeName(h.path) + '\n' + std::string(kCounts) +
         std::to_string(c.found) + ' ' + std::to_string(c.bytesFound) + ' ' +
         std::to_string(c.written) + ' ' + std::to_string(c.unchanged) + ' ' +
         std::to_string(c.leftOut) + ' ' + std::to_string(c.failed) + ' ' +
         std::to_string(c.readBack) + ' ' + std::to_string(c.repaired) + '\n';
}

std::string fileLines(const RecordedFile& f, std::string_view top) {
  std::string lines;
  lines.reserve(128 + 2 * f.relative.size());
  lines.append(kFile);
  appendStamp(lines, f.source, '\t');
  appendStamp(lines, f.copy, '\t');
  appendNumber(lines, f.verified, '\t');
  appendEscaped(lines, f.relative);
  lines.push_back('\n');
  if (!f.sha256.empty()) lines += hashLine(f.sha256, std::string(top) + '/' + f.relative);
  return lines;
}

std::optional<RecordHeader> parseHeader(std::string_view lines) {
  const std::vector<std::string_view> line = split(lines, '\n');
  if (line.size() < 4 || (line[0] != kMagic && line[0] != kMagicIndexed) ||
      !line[1].starts_with(kJob) || !line[2].starts_with(kRun) || !line[3].starts_with(kCounts))
    return std::nullopt;
  const std::vector<std::string_view> job = split(line[1].substr(kJob.size()), '\t');
  const std::vector<std::string_view> run = split(line[2].substr(kRun.size()), '\t');
  if (job.size() != 4 || run.size() != 4) return std::nullopt;
  RecordHeader h;
  h.indexed = line[0] == kMagicIndexed;
  const auto source = unescapeName(job[0]), destination = unescapeName(job[1]),
             machine = unescapeName(job[2]), top = unescapeName(job[3]),
             path = unescapeName(run[3]);
  if (!source || !destination || !machine || !top || !path) return std::nullopt;
  h.job = {*source, *destination, *machine, *top};
  h.path = *path;
  CopyCounts& c = h.counts;
  // The count of repaired copies came later: a record without it is read as it is.
  const std::string_view counts = line[3].substr(kCounts.size());
  if (!parseNumber(run[0], h.started) || !parseNumber(run[1], h.ended) ||
      !parseNumber(run[2], h.number) ||
      !(parseNumbers(counts, c.found, c.bytesFound, c.written, c.unchanged, c.leftOut, c.failed,
                     c.readBack, c.repaired) ||
        parseNumbers(counts, c.found, c.bytesFound, c.written, c.unchanged, c.leftOut, c.failed,
                     c.readBack)))
    return std::nullopt;
  return h;
}

const RecordedFile* RecordReader::take(std::string_view line) {
  if (damaged_) return nullptr;
  if (!line.starts_with(kFile)) {
    if (!hasPending_ || !takeHash(line)) {
      damaged_ = true;
      return nullptr;
    }
    hasPending_ = false;
    std::swap(pending_, done_);
    return &done_;
  }
  const bool had = hasPending_;
  std::swap(pending_, done_);
  // The stamps of the source and the copy, when it was verified, and its path.
  std::string_view rest = line.substr(kFile.size());
  std::string_view field[4];
  for (int i = 0; i < 3; ++i) {
    const std::size_t tab = rest.find('\t');
    if (tab == std::string_view::npos) break;
    field[i] = rest.substr(0, tab);
    rest.remove_prefix(tab + 1);
  }
  field[3] = rest;
  pending_.sha256.clear();
  if (!parseStamp(field[0], pending_.source) || !parseStamp(field[1], pending_.copy) ||
      !parseNumber(field[2], pending_.verified) || !unescapeInto(field[3], pending_.relative) ||
      pending_.relative.empty()) {
    damaged_ = true;
    return nullptr;
  }
  hasPending_ = true;
  return had ? &done_ : nullptr;
}

// A hash line of the pending file, as `sha256sum` writes it: its digest, two spaces and
// its name below the folder of the record, escaped where the line begins with "\\".
bool RecordReader::takeHash(std::string_view line) {
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) line.remove_prefix(1);
  if (line.size() < 66 || !isHash(line.substr(0, 64)) || line.substr(64, 2) != "  ") return false;
  std::string_view name = line.substr(66);
  if (escaped) {
    name_.clear();
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (name[i] != '\\') {
        name_ += name[i];
        continue;
      }
      if (++i == name.size() || (name[i] != '\\' && name[i] != 'n')) return false;
      name_ += name[i] == 'n' ? '\n' : '\\';
    }
    name = name_;
  }
  const std::string_view relative = pending_.relative;
  if (name.size() != top_.size() + 1 + relative.size() || !name.starts_with(top_) ||
      name[top_.size()] != '/' || name.substr(top_.size() + 1) != relative)
    return false;
  pending_.sha256.assign(line.substr(0, 64));
  return true;
}

std::optional<std::string> fileLineRelative(std::string_view line) {
  if (!line.starts_with(kFile)) return std::nullopt;
  const std::size_t tab = line.rfind('\t');
  return tab < kFile.size() ? std::nullopt : unescapeName(line.substr(tab + 1));
}

const RecordedFile* RecordReader::finish() {
  if (damaged_ || !hasPending_) return nullptr;
  hasPending_ = false;
  std::swap(pending_, done_);
  return &done_;
}

}  // namespace qm::copy
