// Destination volumes' time steps and kept attributes, by name and by a probe file.
#include <algorithm>
#include <cwctype>
#include <iterator>

#include "temporaries.h"
#include "volume_rules.h"

namespace qm::win32 {
namespace {

constexpr Ticks kSteps[] = {1, 10, 10'000, 100'000, 10'000'000, 20'000'000};
constexpr Ticks kTwoSeconds = 20'000'000;
constexpr Ticks kTenMilliseconds = 100'000;
// 2001-01-07 10:52:59.2970567: an odd second and an odd tick, with a fraction below one
// half, so that a time cut or rounded to any of the steps lands on that step's grid only.
constexpr Ticks kProbeTime = 126233383792970567ULL;

bool sameName(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}

std::wstring fileSystemName(HANDLE folder) {
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, nullptr, name,
                                     MAX_PATH + 1))
    return L"";
  return name;
}

// Sets the probe's times and read-only attribute and reads back what the volume kept.
bool probe(const std::wstring& path, VolumeRules& learned) {
  std::wstring file;
  Handle h =
      createTemporaryFile(path, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, FILE_ATTRIBUTE_HIDDEN, file);
  if (!h.valid()) return false;
  const FILETIME want = fileTimeOf(kProbeTime);
  // The access time too: some FUSE drivers drop a write time set on its own.
  SetFileTime(h.get(), nullptr, &want, &want);
  h.close();
  const bool readOnlySet =
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN) != FALSE;
  Handle r = openFollowing(file);
  FileId id;
  Entry stored;
  const bool described = r.valid() && describe(r.get(), id, stored);
  r.close();
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(file.c_str());
  if (!described) return false;
  learned.timeStep = stepFor(kProbeTime, stored.written);
  learned.keepsChangeTime = stored.changed > stored.written;
  learned.keepsReadOnly = readOnlySet && (stored.attributes & FILE_ATTRIBUTE_READONLY);
  return true;
}

}  // namespace

VolumeRules rulesForFileSystem(std::wstring_view name) {
  if (sameName(name, L"NTFS") || sameName(name, L"ReFS")) return {1, true, true};
  if (sameName(name, L"exFAT")) return {kTenMilliseconds, false, true};
  if (sameName(name, L"FAT") || sameName(name, L"FAT12") || sameName(name, L"FAT16") ||
      sameName(name, L"FAT32") || sameName(name, L"vfat"))
    return {kTwoSeconds, false, true};
  return {1, false, true};
}

Ticks stepFor(Ticks wanted, Ticks stored) {
  const Ticks difference = wanted > stored ? wanted - stored : stored - wanted;
  if (difference == 0) return 1;
  // The coarsest grid the stored time lies on, within one step of the time set.
  for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it)
    if (stored % *it == 0 && difference < *it) return *it;
  for (Ticks step : kSteps)
    if (difference < step) return step;
  return 0;
}

VolumeRules learnVolumeRules(HANDLE folder, const std::wstring& path) {
  const VolumeRules named = rulesForFileSystem(fileSystemName(folder));
  VolumeRules learned;
  if (!probe(path, learned)) return named;
  if (learned.timeStep != 0) learned.timeStep = std::max(learned.timeStep, named.timeStep);
  return learned;
}

bool isUnchanged(const Entry& source, const Entry& old, const VolumeRules& rules) {
  if (source.size != old.size || rules.timeStep == 0) return false;
  const Ticks difference =
      source.written > old.written ? source.written - old.written : old.written - source.written;
  if (difference >= rules.timeStep) return false;
  if (rules.keepsReadOnly && ((source.attributes ^ old.attributes) & FILE_ATTRIBUTE_READONLY) != 0)
    return false;
  if (rules.keepsChangeTime && old.changed != 0 && old.changed <= old.written) return false;
  return true;
}

}  // namespace qm::win32
