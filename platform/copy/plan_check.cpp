// Checks a copy's plan against the destination volume's names, sizes and free space.
#include "plan_check.h"

#include <algorithm>
#include <iterator>

#include "os/paths.h"
#include "utf8.h"

namespace qm::copy {

namespace {

// The code point at `i` of valid UTF-8, and its length.
char32_t decode(std::string_view s, std::size_t i, std::size_t& length) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + length > s.size()) length = 1;
  if (length == 1) return c;
  char32_t cp = c & (0x3F >> (length - 1));
  for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
  return cp;
}

void encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t lower(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149)
    return (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) ? c + (c & 1) : c | 1;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;  // full-width Latin
  return c;
}

}  // namespace

std::string foldCase(std::string_view name) {
  std::string folded;
  folded.reserve(name.size());
  for (std::size_t i = 0, length = 0; i < name.size(); i += length)
    encode(lower(decode(name, i, length)), folded);
  return folded;
}

void PlanCheck::beginFolder(std::string relative) {
  folder_ = std::move(relative);
  keys_.clear();
}

// FNV-1a over the folded code points, with nothing allocated: it runs for every name.
std::uint64_t PlanCheck::caseKey(std::string_view name) {
  std::uint64_t key = 0xcbf29ce484222325u;
  for (std::size_t i = 0, length = 0; i < name.size(); i += length) {
    key ^= lower(decode(name, i, length));
    key *= 0x100000001b3u;
  }
  return key;
}

std::string PlanCheck::path(std::string_view name) const {
  if (folder_.empty()) return std::string(name);
  return folder_ + kPathSeparator + std::string(name);
}

void PlanCheck::add(int number, std::string file, std::string cause) {
  if (problems_.size() < CopyReport::kKept)
    problems_.push_back({number, {std::move(file), std::move(cause)}, order_});
  else
    ++more_;
}

void PlanCheck::join(PlanCheck&& part) {
  problems_.insert(problems_.end(), std::make_move_iterator(part.problems_.begin()),
                   std::make_move_iterator(part.problems_.end()));
  std::stable_sort(problems_.begin(), problems_.end(),
                   [](const Found& a, const Found& b) { return a.order < b.order; });
  if (problems_.size() > CopyReport::kKept) {
    more_ += problems_.size() - CopyReport::kKept;
    problems_.erase(problems_.begin() + CopyReport::kKept, problems_.end());
  }
  more_ += part.more_;
  written_ += part.written_;
  freed_ += part.freed_;
  largestReplaced_ = std::max(largestReplaced_, part.largestReplaced_);
}

void PlanCheck::entry(std::string_view name, bool file, std::uint64_t size) {
  if (limits_.windowsNames) {
    if (const NameProblem problem = windowsNameProblem(name); problem != NameProblem::None)
      add(err::kBadFileName, path(name), nameCause(problem, name));
  }
  // Only valid names can be folded; the others are refused above where it matters.
  if (caseMatters_ && isValidUtf8(name)) keys_.push_back(caseKey(name));
  if (!file) return;
  if (size > limits_.maxFileSize)
    add(err::kDiskFull, path(name), sizeLimitCause(limits_.typeName, limits_.maxFileSize));
  writes(size);
}

std::vector<std::uint64_t> PlanCheck::takeSuspects() {
  std::sort(keys_.begin(), keys_.end());
  std::vector<std::uint64_t> shared;
  for (std::size_t i = 1; i < keys_.size(); ++i)
    if (keys_[i] == keys_[i - 1] && (shared.empty() || shared.back() != keys_[i]))
      shared.push_back(keys_[i]);
  keys_.clear();
  return shared;
}

void PlanCheck::collision(const std::string& first, const std::string& second) {
  add(err::kFileExists, path(second), caseCause(first, second));
}

std::uint64_t PlanCheck::rounded(std::uint64_t size) const {
  const std::uint64_t unit = std::max<std::uint64_t>(limits_.unit, 1);
  return (size + unit - 1) / unit * unit;
}

void PlanCheck::writes(std::uint64_t size) {
  written_ += rounded(size);
}

void PlanCheck::replaces(std::uint64_t oldSize, std::uint64_t newSize) {
  writes(newSize);
  freed_ += rounded(oldSize);
  largestReplaced_ = std::max(largestReplaced_, rounded(oldSize));
}

// The most the copy takes at any moment: what it writes less what the files it replaces
// give back, except that the last file replaced still holds its space while its new copy
// is written beside it, and that may be the largest.
std::uint64_t PlanCheck::need() const {
  const std::uint64_t taken = written_ + largestReplaced_;
  return taken - std::min(taken, freed_);
}

bool PlanCheck::fits() const {
  return !limits_.freeBytes || need() <= *limits_.freeBytes;
}

void PlanCheck::restartSpace() {
  written_ = freed_ = largestReplaced_ = 0;
}

void PlanCheck::finishSpace() {
  if (fits()) return;
  add(err::kDiskFull, "", spaceCause(need() - *limits_.freeBytes));
}

}  // namespace qm::copy
