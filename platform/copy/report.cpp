// The report of a copy, and the plain words of each cause.
#include "report.h"

#include <cstdio>

#include "errors.h"

namespace qm::copy {

namespace {

void keep(std::vector<Problem>& list, std::size_t& count, Problem&& problem, bool first) {
  if (first) {
    list.insert(list.begin(), std::move(problem));
    if (list.size() > CopyReport::kKept) list.pop_back();
  } else if (list.size() < CopyReport::kKept) {
    list.push_back(std::move(problem));
  }
  ++count;
}

}  // namespace

void CopyReport::addFailure(Problem problem, bool first) {
  std::lock_guard lock(mutex_);
  keep(failures_, failureCount_, std::move(problem), first);
}

void CopyReport::addLeftOut(Problem problem) {
  std::lock_guard lock(mutex_);
  keep(leftOut_, leftOutCount_, std::move(problem), false);
}

void CopyReport::addRepaired(Problem problem) {
  std::lock_guard lock(mutex_);
  keep(repaired_, repairedCount_, std::move(problem), false);
}

void CopyReport::countMoreFailures(std::size_t count) {
  std::lock_guard lock(mutex_);
  failureCount_ += count;
}

std::vector<Problem> CopyReport::failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

std::vector<Problem> CopyReport::leftOut() const {
  std::lock_guard lock(mutex_);
  return leftOut_;
}

std::size_t CopyReport::failureCount() const {
  std::lock_guard lock(mutex_);
  return failureCount_;
}

std::size_t CopyReport::leftOutCount() const {
  std::lock_guard lock(mutex_);
  return leftOutCount_;
}

std::vector<Problem> CopyReport::repaired() const {
  std::lock_guard lock(mutex_);
  return repaired_;
}

std::size_t CopyReport::repairedCount() const {
  std::lock_guard lock(mutex_);
  return repairedCount_;
}

void CopyReport::clear() {
  std::lock_guard lock(mutex_);
  failures_.clear();
  leftOut_.clear();
  repaired_.clear();
  failureCount_ = leftOutCount_ = repairedCount_ = 0;
}

std::string nameCause(NameProblem problem, std::string_view name) {
  switch (problem) {
    case NameProblem::None: break;
    case NameProblem::NotUtf8: return "名前にコピー先で使えない文字コードがあります";
    case NameProblem::TooLong: return "名前がコピー先で使える長さ (255 文字) を超えています";
    case NameProblem::ReservedCharacter:
      for (char c : name)
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
          return std::string("名前にコピー先で使えない文字 '") + c + "' があります";
      break;
    case NameProblem::ControlCharacter: return "名前にコピー先で使えない制御文字があります";
    case NameProblem::TrailingDotOrSpace: return "名前の末尾の点や空白はコピー先で使えません";
    case NameProblem::DeviceName:
      return "名前がコピー先で装置の名前 (CON、NUL、COM1 など) として予約されています";
  }
  return "名前がコピー先で使えません";
}

std::string caseCause(std::string_view first, std::string_view second) {
  return "コピー先は大文字と小文字を区別しません: " + std::string(first) + " と " +
         std::string(second);
}

std::string sameNameCause(std::string_view first, std::string_view second) {
  return "コピー先では同じ名前になります: " + std::string(first) + " と " + std::string(second);
}

std::string sizeLimitCause(std::string_view typeName, std::uint64_t limit) {
  // The limits are one byte short of a whole number of a unit: 4 GiB - 1 reads "4 GB".
  static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
  const std::uint64_t size = limit + 1;
  int unit = 4;
  while (unit > 0 && size < std::uint64_t{1} << (10 * (unit + 1))) --unit;
  const std::uint64_t scale = std::uint64_t{1} << (10 * (unit + 1));
  const std::string shown = size >= scale && size % scale == 0
                                ? std::to_string(size / scale) + " " + units[unit]
                                : byteSize(size);
  return std::string(typeName) + " には " + shown + " を超えるファイルを保存できません";
}

std::string spaceCause(std::uint64_t missing) {
  return "空き容量が " + byteSize(missing) + " 足りません";
}

std::string numberCause(int number, bool onSource) {
  switch (number) {
    case err::kPermissionDenied:
      return onSource ? "読み取れません (アクセス拒否)"
                      : "書き込めません (アクセス拒否、または書き込み禁止)";
    case err::kDiskFull: return "コピー先の空き容量がありません";
    case err::kDeviceIo:
      return onSource ? "読み取れません (装置の入出力エラー)"
                      : "書き込めません (装置の入出力エラー、または装置が外されました)";
    case err::kFileNotFound: return "見つかりません";
    case err::kBadFileName: return "名前がコピー先で使えません";
    case err::kFileExists: return "コピー先に同じ名前のものがあります";
    case err::kPathNotFound: return "パスが見つかりません";
    default: return onSource ? "読み取れません" : "書き込めません";
  }
}

std::string readBackCause() {
  return "コピー先から読み戻した内容が元と一致しません";
}

std::string repairedCause() {
  return "コピー先で内容が元と一致しなくなっていたため、コピーし直しました";
}

std::string changingCause() {
  return "コピーする間に何度も書き換えられました";
}

std::string leftOutCause(LeftOut reason) {
  switch (reason) {
    case LeftOut::NotData: return "ソケットやデバイスはコピーしません";
    case LeftOut::Dangling: return "リンク先がないため、コピーしませんでした";
    case LeftOut::Cycle: return "自分を含むフォルダへのリンクのため、コピーしませんでした";
    case LeftOut::Junction: return "古いプログラム向けの互換用リンクのため、コピーしませんでした";
    case LeftOut::Unholdable: return "コピー先が保存できない種類のため、コピーしませんでした";
    case LeftOut::Unreadable: return "リンクの所有者が読めないリンク先のため、コピーしませんでした";
  }
  return "コピーしませんでした";
}

std::string byteSize(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " バイト";
  static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  // The thresholds sit where the rounding would show "1024" or "10.0".
  while (value >= 1023.5 && unit < 4) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 9.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
  return text;
}

}  // namespace qm::copy
