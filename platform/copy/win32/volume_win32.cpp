// Destination volumes' time steps and kept attributes, by name and by a probe file.
#include <algorithm>
#include <cwctype>
#include <iterator>
#include <string>

#include "temporaries.h"
#include "volume.h"

namespace qm::win32 {
namespace {

// 1970-01-01 in ticks.
constexpr Ticks kUnixEpoch = 116'444'736'000'000'000ULL;
// 2001-01-07 10:52:59.2970567: an odd second and an odd tick, with a fraction below one
// half, so that a time cut or rounded to any of the steps lands on that step's grid only.
constexpr Ticks kProbeTime = 126233383792970567ULL;

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
  learned.times = copy::learnTimes(nanosecondsOf(kProbeTime), nanosecondsOf(stored.written),
                                   learned.times.stepNs);
  learned.keepsChangeTime = stored.changed > stored.written;
  learned.keepsReadOnly = readOnlySet && (stored.attributes & FILE_ATTRIBUTE_READONLY);
  return true;
}

}  // namespace

std::int64_t nanosecondsOf(Ticks ticks) {
  constexpr Ticks kLimit = static_cast<Ticks>(INT64_MAX / 100);
  if (ticks < kUnixEpoch)
    return -static_cast<std::int64_t>(std::min(kUnixEpoch - ticks, kLimit)) * 100;
  return static_cast<std::int64_t>(std::min(ticks - kUnixEpoch, kLimit)) * 100;
}

VolumeRules rulesForFileSystem(std::wstring_view name) {
  VolumeRules rules;
  std::string lower;
  for (wchar_t c : name) lower += c < 0x80 ? static_cast<char>(std::towlower(c)) : '?';
  rules.times.stepNs = copy::typeTimeStepNs(lower);
  // NTFS and ReFS keep a change time of their own; FAT and exFAT do not.
  rules.keepsChangeTime = lower == "ntfs" || lower == "refs";
  return rules;
}

VolumeRules probeVolume(HANDLE folder, const std::wstring& path) {
  const VolumeRules named = rulesForFileSystem(fileSystemName(folder));
  VolumeRules learned = named;
  if (!probe(path, learned)) return named;
  return learned;
}

bool isUnchanged(const Entry& source, const Entry& old, const VolumeRules& rules) {
  // Times the rules cannot hold (before 1678 or after 2262) are never taken as equal.
  const auto held = [](Ticks t) { return nanosecondsOf(t) != nanosecondsOf(t + 1); };
  if (!held(source.written) || !held(old.written)) return false;
  const auto facts = [](const Entry& e) {
    return copy::FileFacts{e.size, nanosecondsOf(e.written),
                           e.changed ? nanosecondsOf(e.changed) : 0,
                           e.attributes & FILE_ATTRIBUTE_READONLY, !e.isFolder()};
  };
  return copy::unchanged(facts(source), facts(old), rules.times,
                         {rules.keepsReadOnly, rules.keepsChangeTime});
}

}  // namespace qm::win32
