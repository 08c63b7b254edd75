// The copy's rules as pure functions, alike for every system.
#include "rules.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <iterator>

#include "utf8.h"

namespace qm::copy {
namespace {

// The steps volumes store times in, finest first: exact, 100 ns (NTFS), 1 us, 1 ms,
// 10 ms (exFAT), 1 s, 2 s (FAT).
constexpr std::int64_t kSteps[] = {1, 100, 1000, 1'000'000, 10'000'000, kSecondNs, 2 * kSecondNs};
// Volume types from this step up store times coarsely by design (exFAT, FAT).
constexpr std::int64_t kCoarseTypeStepNs = 10'000'000;
// Time zones differ in whole quarter hours.
constexpr std::int64_t kQuarterHourNs = 900 * kSecondNs;
constexpr std::int64_t kHourNs = 3600 * kSecondNs;
// FAT keeps times in 2 s steps, in local time.
constexpr std::int64_t kFatStepNs = 2 * kSecondNs;

bool sameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool isAnyOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::any_of(names.begin(), names.end(),
                     [name](std::string_view n) { return sameName(name, n); });
}

// The remainder of `value` by `step`, never negative.
std::int64_t remainder(std::int64_t value, std::int64_t step) {
  const std::int64_t r = value % step;
  return r < 0 ? r + step : r;
}

}  // namespace

std::int64_t typeTimeStepNs(std::string_view fileSystemName) {
  if (isAnyOf(fileSystemName, {"vfat", "msdos", "fat", "fat12", "fat16", "fat32"}))
    return 2 * kSecondNs;
  if (isAnyOf(fileSystemName, {"exfat"})) return 10'000'000;
  if (isAnyOf(fileSystemName, {"ntfs", "ntfs3", "refs", "cifs", "smb2", "smb3"})) return 100;
  return 1;
}

VolumeTimes learnTimes(std::int64_t wantedNs, std::int64_t storedNs, std::int64_t typeStepNs) {
  VolumeTimes times;
  const std::int64_t shift = storedNs - wantedNs;
  // Beyond the coarsest step, only a shift by whole quarter hours is a time kept: the
  // volume is read in another time zone than it was written in.
  if (std::llabs(shift) > 2 * kSecondNs) {
    const std::int64_t quarters =
        (shift + (shift < 0 ? -1 : 1) * kQuarterHourNs / 2) / kQuarterHourNs;
    times.offsetNs = quarters * kQuarterHourNs;
  }
  const std::int64_t stored = storedNs - times.offsetNs;
  const std::int64_t loss = std::llabs(stored - wantedNs);
  // A time kept as it was set says nothing of a grid.
  times.stepNs = loss == 0 ? 1 : 0;
  // The coarsest grid the stored time lies on within one step of the time set (a time cut
  // or rounded to it), else the finest step above the loss.
  for (auto it = std::rbegin(kSteps); it != std::rend(kSteps) && times.stepNs == 0; ++it)
    if (loss < *it && remainder(stored, *it) == 0) times.stepNs = *it;
  for (auto it = std::begin(kSteps); it != std::end(kSteps) && times.stepNs == 0; ++it)
    if (loss < *it) times.stepNs = *it;
  if (times.stepNs == 0) return VolumeTimes{typeStepNs, 0, false, typeStepNs >= kFatStepNs};
  // The type's own step is the floor, and for FAT and exFAT the ceiling too: a probe never
  // makes them coarser than 2 s or 10 ms. Other names are no ceiling, since drivers of
  // every kind call their volumes NTFS (Wine does, for whatever holds a drive).
  times.stepNs = std::max(times.stepNs, typeStepNs);
  if (typeStepNs >= kCoarseTypeStepNs) times.stepNs = typeStepNs;
  times.hourShifts = times.stepNs >= kFatStepNs;
  return times;
}

bool sameTime(std::int64_t storedNs, std::int64_t wantedNs, const VolumeTimes& times) {
  return times.keepsTimes && std::llabs(storedNs - times.offsetNs - wantedNs) < times.stepNs;
}

bool unchanged(const FileFacts& source, const FileFacts& target, const VolumeTimes& times,
               const VolumeKeeps& keeps) {
  if (!target.regular || source.size != target.size) return false;
  // A daylight-saving change moves the times a FAT volume gives back by an hour: a file of
  // the same size an hour apart is the copy, so an unchanged tree is not written twice a year.
  const bool shifted =
      times.hourShifts && (sameTime(target.modifiedNs - kHourNs, source.modifiedNs, times) ||
                           sameTime(target.modifiedNs + kHourNs, source.modifiedNs, times));
  if (!shifted && !sameTime(target.modifiedNs, source.modifiedNs, times)) return false;
  if (keeps.access && source.access != target.access) return false;
  // A copy sets the time after writing, so the change time moved on from it.
  return !keeps.changeTime || target.changedNs == 0 || target.changedNs != target.modifiedNs;
}

namespace {

// Whether `base` (a name up to its first dot, trailing spaces dropped) names a device.
bool isDeviceName(std::string_view base) {
  std::string upper;
  for (char c : base) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* device : {"CON", "PRN", "AUX", "NUL"})
    if (upper == device) return true;
  if (upper.size() < 4 || (!upper.starts_with("COM") && !upper.starts_with("LPT"))) return false;
  const std::string_view digit = std::string_view(upper).substr(3);
  return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3";  // superscript 1, 2, 3
}

}  // namespace

NameProblem windowsNameProblem(std::string_view name) {
  if (!isValidUtf8(name)) return NameProblem::NotUtf8;
  if (utf16Offset(name, utf8Length(name)) > 255) return NameProblem::TooLong;
  for (char c : name) {
    if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
      return NameProblem::ReservedCharacter;
    if (c >= 0x01 && c <= 0x1F) return NameProblem::ControlCharacter;
  }
  if (!name.empty() && (name.back() == '.' || name.back() == ' '))
    return NameProblem::TrailingDotOrSpace;
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  return isDeviceName(base) ? NameProblem::DeviceName : NameProblem::None;
}

}  // namespace qm::copy
