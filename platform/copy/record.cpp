// The copy's record: its header and file lines, written and read back.
#include "copy/record.h"

#include <charconv>
#include <utility>
#include <vector>

namespace qm::copy {

namespace {

constexpr std::string_view kMagic = "# qm copy record 1";
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

std::string stampText(const FileStamp& state) {
  return std::to_string(state.size) + ' ' + std::to_string(state.modified) + ' ' +
         std::to_string(state.changed) + ' ' + std::to_string(state.identity);
}

bool parseStamp(std::string_view text, FileStamp& state) {
  return parseNumbers(text, state.size, state.modified, state.changed, state.identity);
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

// A hash line's digest and name, unescaped; nullopt where it is none.
std::optional<std::pair<std::string, std::string>> parseHashLine(std::string_view line) {
  const bool escaped = !line.empty() && line.front() == '\\';
  if (escaped) line.remove_prefix(1);
  if (line.size() < 66 || !isHash(line.substr(0, 64)) || line.substr(64, 2) != "  ")
    return std::nullopt;
  std::string name;
  const std::string_view text = line.substr(66);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!escaped || text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (++i == text.size() || (text[i] != '\\' && text[i] != 'n')) return std::nullopt;
    name += text[i] == 'n' ? '\n' : '\\';
  }
  return std::make_pair(std::string(line.substr(0, 64)), std::move(name));
}

}  // namespace

std::string escapeName(std::string_view name) {
  std::string text;
  for (char c : name) {
    switch (c) {
      case '\\': text += "\\\\"; break;
      case '\n': text += "\\n"; break;
      case '\t': text += "\\t"; break;
      default: text += c;
    }
  }
  return text;
}

std::optional<std::string> unescapeName(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\t' || text[i] == '\n') return std::nullopt;
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\': name += '\\'; break;
      case 'n': name += '\n'; break;
      case 't': name += '\t'; break;
      default: return std::nullopt;
    }
  }
  return name;
}

std::string headerLines(const RecordHeader& h) {
  const CopyCounts& c = h.counts;
  return std::string(kMagic) + '\n' + std::string(kJob) + escapeName(h.job.source) + '\t' +
         escapeName(h.job.destination) + '\t' + escapeName(h.job.machine) + '\t' +
         escapeName(h.job.top) + '\n' + std::string(kRun) + std::to_string(h.started) + '\t' +
         std::to_string(h.ended) + '\t' + std::to_string(h.number) + '\t' + escapeName(h.path) +
         '\n' + std::string(kCounts) + std::to_string(c.found) + ' ' +
         std::to_string(c.bytesFound) + ' ' + std::to_string(c.written) + ' ' +
         std::to_string(c.unchanged) + ' ' + std::to_string(c.leftOut) + ' ' +
         std::to_string(c.failed) + ' ' + std::to_string(c.readBack) + '\n';
}

std::string fileLines(const RecordedFile& f, std::string_view top) {
  std::string lines = std::string(kFile) + stampText(f.source) + '\t' + stampText(f.copy) + '\t' +
                      std::to_string(f.verified) + '\t' + escapeName(f.relative) + '\n';
  if (!f.sha256.empty()) lines += hashLine(f.sha256, std::string(top) + '/' + f.relative);
  return lines;
}

std::optional<RecordHeader> parseHeader(std::string_view lines) {
  const std::vector<std::string_view> line = split(lines, '\n');
  if (line.size() < 4 || line[0] != kMagic || !line[1].starts_with(kJob) ||
      !line[2].starts_with(kRun) || !line[3].starts_with(kCounts))
    return std::nullopt;
  const std::vector<std::string_view> job = split(line[1].substr(kJob.size()), '\t');
  const std::vector<std::string_view> run = split(line[2].substr(kRun.size()), '\t');
  if (job.size() != 4 || run.size() != 4) return std::nullopt;
  RecordHeader h;
  const auto source = unescapeName(job[0]), destination = unescapeName(job[1]),
             machine = unescapeName(job[2]), top = unescapeName(job[3]),
             path = unescapeName(run[3]);
  if (!source || !destination || !machine || !top || !path) return std::nullopt;
  h.job = {*source, *destination, *machine, *top};
  h.path = *path;
  CopyCounts& c = h.counts;
  if (!parseNumber(run[0], h.started) || !parseNumber(run[1], h.ended) ||
      !parseNumber(run[2], h.number) ||
      !parseNumbers(line[3].substr(kCounts.size()), c.found, c.bytesFound, c.written, c.unchanged,
                    c.leftOut, c.failed, c.readBack))
    return std::nullopt;
  return h;
}

std::optional<RecordedFile> RecordReader::take(std::string_view line) {
  if (damaged_) return std::nullopt;
  if (!line.starts_with(kFile)) {
    const auto hash = parseHashLine(line);
    if (!hash || !pending_ || hash->second != top_ + '/' + pending_->relative) {
      damaged_ = true;
      return std::nullopt;
    }
    pending_->sha256 = hash->first;
    return std::exchange(pending_, std::nullopt);
  }
  const std::vector<std::string_view> part = split(line.substr(kFile.size()), '\t');
  RecordedFile file;
  const auto relative = part.size() == 4 ? unescapeName(part[3]) : std::nullopt;
  if (!relative || relative->empty() || !parseStamp(part[0], file.source) ||
      !parseStamp(part[1], file.copy) || !parseNumber(part[2], file.verified)) {
    damaged_ = true;
    return std::nullopt;
  }
  file.relative = *relative;
  return std::exchange(pending_, std::move(file));
}

std::optional<RecordedFile> RecordReader::finish() {
  if (damaged_) return std::nullopt;
  return std::exchange(pending_, std::nullopt);
}

}  // namespace qm::copy
