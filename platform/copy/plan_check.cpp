// Checks a copy's plan against the destination volume's names, sizes and free space.
#include "plan_check.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include "copy/name_fold.h"
#include "os/paths.h"
#include "utf8.h"

namespace qm::copy {

void PlanCheck::beginFolder(std::string relative) {
  folder_ = std::move(relative);
  keys_.clear();
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
  if (part.wide_ && (!wide_ || part.wideOrder_ < wideOrder_)) {
    wide_ = std::move(part.wide_);
    wideOrder_ = part.wideOrder_;
  }
  written_ += part.written_;
  freed_ += part.freed_;
  for (const std::uint64_t size : part.largestReplaced_) keepLargest(size);
}

void PlanCheck::entry(std::string_view name, Listed kind, std::uint64_t size, std::uint64_t taken) {
  const bool file = kind == Listed::File;
  if (limits_.windowsNames) {
    if (const NameProblem problem = windowsNameProblem(name); problem != NameProblem::None)
      add(err::kBadFileName, path(name), nameCause(problem, name));
  }
  // Only valid names can be folded; the others are refused above where it matters.
  const bool valid = isValidUtf8(name);
  if (compareNames_ && valid) keys_.push_back(suspectKey(name));
  if (!wide_ && valid && std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; })) {
    wide_.emplace(path(name), std::string(name));
    wideOrder_ = order_;
  }
  if (kind == Listed::Folder) writes(1);  // its entries take a unit of the volume
  if (!file) return;
  recordBytes_ += kRecordBytesPerFile + 2 * (folder_.size() + name.size() + 1);
  if (size > limits_.maxFileSize)
    add(err::kDiskFull, path(name), sizeLimitCause(limits_.typeName, limits_.maxFileSize));
  writes(taken);
}

std::vector<std::uint32_t> PlanCheck::takeSuspects() {
  std::sort(keys_.begin(), keys_.end());
  std::vector<std::uint32_t> shared;
  for (std::size_t i = 1; i < keys_.size(); ++i)
    if (keys_[i] == keys_[i - 1] && (shared.empty() || shared.back() != keys_[i]))
      shared.push_back(keys_[i]);
  std::vector<std::uint32_t>().swap(keys_);  // a huge folder's keys are not held on
  return shared;
}

void PlanCheck::collision(const std::string& first, const std::string& second, NameFolding joins) {
  add(err::kFileExists, path(second),
      joins.formsFold ? sameNameCause(first, second) : caseCause(first, second));
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
  keepLargest(rounded(oldSize));
}

void PlanCheck::keepLargest(std::uint64_t size) {
  const auto at =
      std::upper_bound(largestReplaced_.begin(), largestReplaced_.end(), size, std::greater<>());
  if (at - largestReplaced_.begin() >= static_cast<std::ptrdiff_t>(kMostWriters)) return;
  largestReplaced_.insert(at, size);
  if (largestReplaced_.size() > kMostWriters) largestReplaced_.pop_back();
}

// The most the copy takes at any moment: what it writes less what the files it replaces
// give back, except that the files being replaced still hold their space while their new
// copies are written beside them, and those may be the largest.
std::uint64_t PlanCheck::need(unsigned writers) const {
  // The copy's record is written beside the last run's before it replaces it.
  std::uint64_t taken = written_ + (recordBytes_ ? rounded(recordBytes_) : 0);
  for (std::size_t i = 0; i < largestReplaced_.size() && i < writers; ++i)
    taken += largestReplaced_[i];
  return taken - std::min(taken, freed_);
}

bool PlanCheck::fits() const {
  return !limits_.freeBytes || need() <= *limits_.freeBytes;
}

bool PlanCheck::fitsReplacing(unsigned writers) const {
  return !limits_.freeBytes || need(writers) <= *limits_.freeBytes;
}

void PlanCheck::restartSpace() {
  written_ = freed_ = recordBytes_ = 0;
  largestReplaced_.clear();
}

void PlanCheck::finishSpace() {
  if (fits()) return;
  add(err::kDiskFull, "", spaceCause(need() - *limits_.freeBytes));
}

}  // namespace qm::copy
