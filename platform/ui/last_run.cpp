// The last-run file: the run of a result, and its text written and read.
#include "last_run.h"

#include <charconv>
#include <exception>
#include <map>

#include "errors.h"
#include "os/textfile.h"
#include "utf8.h"

namespace qm {

namespace {

// The first line, with the format's version, and the last.
constexpr std::string_view kHeader = "quillmar-last-run 1\n";
constexpr std::string_view kEnd = "end\n";

// The counts by their keys, in the order they are written.
constexpr std::pair<std::string_view, std::uint64_t copy::CopyCounts::*> kCounts[] = {
    {"found", &copy::CopyCounts::found},        {"bytes-found", &copy::CopyCounts::bytesFound},
    {"written", &copy::CopyCounts::written},    {"unchanged", &copy::CopyCounts::unchanged},
    {"read-back", &copy::CopyCounts::readBack}, {"left-out", &copy::CopyCounts::leftOut},
    {"failed", &copy::CopyCounts::failed},
};
constexpr std::size_t kFieldCount = 7 + std::size(kCounts);
// Came later: a file without it is read as it is.
constexpr std::string_view kRepaired = "repaired";

constexpr char kHex[] = "0123456789ABCDEF";

// A value on one line of UTF-8: "%HH" for a percent sign, a control character and, where
// the value is not UTF-8 (a Linux file name may be any bytes), every byte above ASCII.
// Windows paths keep their backslashes as they are.
std::string escaped(std::string_view value) {
  const bool utf8 = isValidUtf8(value);
  std::string out;
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '%' || c < 0x20 || c == 0x7f || (c >= 0x80 && !utf8)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

template <typename T>
bool readNumber(std::string_view text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value, base);
  return error == std::errc() && at == end && !text.empty();
}

std::optional<std::string> unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    unsigned byte = 0;
    if (text.size() < i + 3 || !readNumber(text.substr(i + 1, 2), byte, 16)) return std::nullopt;
    out += static_cast<char>(byte);
    i += 2;
  }
  return out;
}

using Fields = std::map<std::string, std::string, std::less<>>;

// The "key=value" lines between the header and "end"; nothing when the text has any other
// shape, or a key twice.
std::optional<Fields> fieldsOf(std::string_view text) {
  if (!isValidUtf8(text) || !text.starts_with(kHeader) || !text.ends_with(kEnd) ||
      text.size() < kHeader.size() + kEnd.size())
    return std::nullopt;
  text.remove_prefix(kHeader.size());
  text.remove_suffix(kEnd.size());
  Fields fields;
  while (!text.empty()) {
    const std::size_t lineEnd = text.find('\n');
    if (lineEnd == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, lineEnd);
    text.remove_prefix(lineEnd + 1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    if (!fields.emplace(line.substr(0, equals), line.substr(equals + 1)).second)
      return std::nullopt;
  }
  return fields;
}

}  // namespace

LastRun lastRunOf(std::string_view source, std::string_view destination, std::int64_t started,
                  std::int64_t tookMs, const copy::CopyResult& result) {
  LastRun run{std::string(source), std::string(destination), started, tookMs, result.number, {}, {},
              result.counts};
  if (result.complete()) return run;
  const bool listed = !result.failures.empty();
  run.file = listed ? result.failures.front().file : result.path;
  run.cause = listed ? result.failures.front().cause : result.description;
  return run;
}

std::string formatLastRun(const LastRun& run) {
  std::string out(kHeader);
  const auto put = [&out](std::string_view key, const std::string& value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
  };
  put("source", escaped(run.source));
  put("destination", escaped(run.destination));
  put("started", std::to_string(run.started));
  put("took-ms", std::to_string(run.tookMs));
  put("result", std::to_string(run.number));
  put("file", escaped(run.file));
  put("cause", escaped(run.cause));
  for (const auto& [key, member] : kCounts) put(key, std::to_string(run.counts.*member));
  put(kRepaired, std::to_string(run.counts.repaired));
  out += kEnd;
  return out;
}

std::optional<LastRun> parseLastRun(std::string_view text) {
  const std::optional<Fields> fields = fieldsOf(text);
  const bool repaired = fields && fields->contains(kRepaired);
  if (!fields || fields->size() != kFieldCount + (repaired ? 1 : 0)) return std::nullopt;
  const auto field = [&](std::string_view key) -> const std::string* {
    const auto it = fields->find(key);
    return it == fields->end() ? nullptr : &it->second;
  };
  LastRun run;
  bool ok = true;
  const auto string = [&](std::string_view key, std::string& into) {
    const std::string* value = field(key);
    std::optional<std::string> plain = value ? unescaped(*value) : std::nullopt;
    ok = ok && plain;
    if (plain) into = std::move(*plain);
  };
  const auto number = [&](std::string_view key, auto& into) {
    const std::string* value = field(key);
    ok = ok && value && readNumber(*value, into);
  };
  string("source", run.source);
  string("destination", run.destination);
  number("started", run.started);
  number("took-ms", run.tookMs);
  number("result", run.number);
  string("file", run.file);
  string("cause", run.cause);
  for (const auto& [key, member] : kCounts) number(key, run.counts.*member);
  if (repaired) number(kRepaired, run.counts.repaired);
  if (!ok) return std::nullopt;
  return run;
}

std::optional<LastRun> readLastRun(const std::string& path) {
  try {
    return parseLastRun(readWholeFile(path));
  } catch (const RuntimeError&) {
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

bool writeLastRun(const std::string& path, const LastRun& run) {
  try {
    replaceFileAtomically(path, formatLastRun(run));
    return true;
  } catch (const RuntimeError&) {
  } catch (const std::exception&) {
  }
  return false;
}

}  // namespace qm
