// Checks a copy's plan against the destination volume's names, sizes and free space.
#include "plan_check.h"

#include <algorithm>
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
  if (compareNames_ && isValidUtf8(name)) keys_.push_back(nameKey(name));
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
