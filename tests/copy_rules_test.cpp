// The copy's shared rules, run on every system: volume time steps and offsets, the
// unchanged decision, the temporary names, the numbers failures get, and the names a
// destination volume refuses or folds into one.
#include <gtest/gtest.h>

#include <cstdio>

#include "copy/name_fold.h"
#include "copy/options.h"
#include "copy/plan_check.h"
#include "copy/rules.h"
#include "errors.h"
#include "utf8.h"

namespace qm::copy {
namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kHour = 3600 * kSecondNs;

TEST(CopyRules, FileSystemTypesGiveTheirTimeSteps) {
  const std::pair<const char*, std::int64_t> cases[] = {{"vfat", 2 * kSecondNs},
                                                        {"FAT32", 2 * kSecondNs},
                                                        {"FAT", 2 * kSecondNs},
                                                        {"msdos", 2 * kSecondNs},
                                                        {"exfat", 10 * kMs},
                                                        {"exFAT", 10 * kMs},
                                                        {"NTFS", 100},
                                                        {"ntfs3", 100},
                                                        {"ReFS", 100},
                                                        {"cifs", 100},
                                                        {"ext4", 1},
                                                        {"", 1},
                                                        {"UDF", 1},
                                                        {"FAT33", 1}};
  for (auto [name, step] : cases) EXPECT_EQ(typeTimeStepNs(name), step) << name;
}

// Probe times: an odd second with an odd fraction, so that a time cut or rounded to any of
// the steps lands on that step's grid only.
TEST(CopyRules, AProbeTimeReadBackTellsTheStepAndTheOffset) {
  const std::int64_t want = 1'000'000'001 * kSecondNs + 297'056'700;  // ...:01.2970567
  const struct {
    const char* what;
    std::int64_t stored;
    std::int64_t typeStep;
    VolumeTimes times;
  } cases[] = {
      {"exact (ext4, tmpfs)", want, 1, {1, 0, true}},
      {"NTFS keeps 100 ns", want, 100, {100, 0, true}},
      {"microseconds (Unix file systems under Wine)", want - 700, 1, {1000, 0, true}},
      {"off the grids: the step above the loss", want - 300, 1, {1000, 0, true}},
      {"10 ms, cut (exFAT)", want - 7'056'700, 1, {10 * kMs, 0, true}},
      {"10 ms, rounded", want + 2'943'300, 1, {10 * kMs, 0, true}},
      {"1 s, cut (exFAT on FUSE)", want - 297'056'700, 1, {kSecondNs, 0, true}},
      {"2 s, cut (FUSE FAT)", want - kSecondNs - 297'056'700, 1, {2 * kSecondNs, 0, true}},
      {"2 s, rounded up (Windows FAT)", want + 702'943'300, 1, {2 * kSecondNs, 0, true}},
      {"FAT by type, probe finer", want, 2 * kSecondNs, {2 * kSecondNs, 0, true}},
      {"exFAT by type, probe coarser: the type's step",
       want - 297'056'700,
       10 * kMs,
       {10 * kMs, 0, true}},
      {"NTFS by name, FAT by probe (Wine): the probe's step",
       want - kSecondNs - 297'056'700,
       100,
       {2 * kSecondNs, 0, true}},
      // Regression: a FAT volume read in Tokyo time grew a step of nine hours, so stale
      // files of the same size passed as unchanged.
      {"FAT read 9 h ahead",
       want - kSecondNs - 297'056'700 + 9 * kHour,
       1,
       {2 * kSecondNs, 9 * kHour, true}},
      {"FAT read 5 h 30 behind",
       want - kSecondNs - 297'056'700 - 11 * kHour / 2,
       2 * kSecondNs,
       {2 * kSecondNs, -11 * kHour / 2, true}},
      {"not kept at all", want - 90 * kSecondNs, 1, {1, 0, false}},
      {"not kept, FAT by type",
       want + 7 * kHour + 41 * kSecondNs,
       2 * kSecondNs,
       {2 * kSecondNs, 0, false}},
  };
  for (const auto& c : cases) {
    const VolumeTimes got = learnTimes(want, c.stored, c.typeStep);
    EXPECT_EQ(got.stepNs, c.times.stepNs) << c.what;
    EXPECT_EQ(got.offsetNs, c.times.offsetNs) << c.what;
    EXPECT_EQ(got.keepsTimes, c.times.keepsTimes) << c.what;
    EXPECT_EQ(got.hourShifts, c.times.stepNs >= 2 * kSecondNs) << c.what;
  }
}

FileFacts file(std::int64_t modified, std::int64_t changed, std::uint32_t access = 0644,
               std::uint64_t size = 10) {
  return {size, modified, changed, access, true};
}

TEST(CopyRules, UnchangedOnlyWithinTheVolumesStepAndWhereACopySetTheTime) {
  const VolumeTimes exact{1, 0, true}, ntfs{100, 0, true}, fat{2 * kSecondNs, 0, true, true},
      exfat{10 * kMs, 0, true}, tokyoFat{2 * kSecondNs, 9 * kHour, true, true},
      forgetful{1, 0, false};
  const VolumeKeeps ext4{true, true}, noModes{false, false}, ntfsKeeps{true, true};
  const std::int64_t t = 1001 * kSecondNs + 999'999'999;
  const std::int64_t copied = t + 100 * kSecondNs;  // when a copy set the time
  const FileFacts source = file(t, t);
  FileFacts folder = file(t, copied);
  folder.regular = false;
  const struct {
    const char* what;
    FileFacts target;
    VolumeTimes times;
    VolumeKeeps keeps;
    bool unchanged;
  } cases[] = {
      {"same to the nanosecond", file(t, copied), exact, ext4, true},
      {"one nanosecond apart", file(t + 1, copied), exact, ext4, false},
      {"other size", file(t, copied, 0644, 11), exact, ext4, false},
      {"other access rights", file(t, copied, 0600), exact, ext4, false},
      {"written by hand in the same tick", file(t, t), exact, ext4, false},
      {"no change time told", file(t, 0), ntfs, ntfsKeeps, true},
      {"NTFS, one tick apart", file(t + 100, copied), ntfs, ntfsKeeps, false},
      {"not a file", folder, exact, ext4, false},
      {"FAT rounds down to 2 s", file(1000 * kSecondNs, 1000 * kSecondNs, 0777), fat, noModes,
       true},
      {"FAT rounds up to 2 s", file(1002 * kSecondNs, 0, 0777), fat, noModes, true},
      {"FAT, one step off", file(998 * kSecondNs, 0, 0777), fat, noModes, false},
      {"FAT, other size", file(1000 * kSecondNs, 0, 0777, 9), fat, noModes, false},
      {"FAT mirrors the change time", file(t, t, 0777), fat, noModes, true},
      {"FAT keeps no access rights", file(1000 * kSecondNs, 0, 0444), fat, noModes, true},
      {"FAT keeping the read-only attribute",
       file(1000 * kSecondNs, 0, 0444),
       fat,
       {true, false},
       false},
      {"exFAT 10 ms", file(1001 * kSecondNs + 990'000'000, 0, 0777), exfat, noModes, true},
      {"exFAT, 20 ms off", file(1001 * kSecondNs + 979'999'999, 0, 0777), exfat, noModes, false},
      {"FAT read 9 h ahead", file(1000 * kSecondNs + 9 * kHour, 0, 0777), tokyoFat, noModes, true},
      // Regression: an older version of the same size put back into the source passed as
      // unchanged on a FAT volume read in another time zone.
      {"FAT read 9 h ahead, source two hours older", file(1000 * kSecondNs + 11 * kHour, 0, 0777),
       tokyoFat, noModes, false},
      // Regression: every file on a FAT stick was written again after each change to or
      // from daylight saving time.
      {"FAT an hour later (daylight saving)", file(1000 * kSecondNs + kHour, 0, 0777), fat, noModes,
       true},
      {"FAT an hour earlier, within the step", file(1001 * kSecondNs - kHour, 0, 0777), fat,
       noModes, true},
      {"FAT read 9 h ahead, an hour later", file(1000 * kSecondNs + 10 * kHour, 0, 0777), tokyoFat,
       noModes, true},
      {"FAT an hour and a step apart", file(1000 * kSecondNs + kHour + 4 * kSecondNs, 0, 0777), fat,
       noModes, false},
      {"FAT an hour later, other size", file(1000 * kSecondNs + kHour, 0, 0777, 9), fat, noModes,
       false},
      {"exFAT an hour later: kept in UTC", file(1002 * kSecondNs + kHour, 0, 0777), exfat, noModes,
       false},
      {"exact an hour later", file(t + kHour, copied), exact, ext4, false},
      {"a volume that keeps no set time", file(t, copied), forgetful, ext4, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(unchanged(source, c.target, c.times, c.keeps), c.unchanged) << c.what;
}

TEST(CopyRules, TemporaryNamesTellTheirOwnersAndNothingElseIsOurs) {
  const TemporaryOwner owner{4026531836, 4242, 123456789};
  const std::string name = temporaryName(owner, 7);
  EXPECT_EQ(name, ".qm-4026531836-4242-123456789-7.tmp");
  EXPECT_EQ(temporaryOwner(name), owner);
  EXPECT_EQ(temporaryOwner(temporaryName({0, 1, 0}, 0)), (TemporaryOwner{0, 1, 0}));
  for (const char* other :
       {".qm-1-2-3.tmp", ".qm-1-2-3-4-5.tmp", ".qm-1-2-x-4.tmp", ".qm-1--3-4.tmp",
        ".qm-1-2-3-4.txt", "qm-1-2-3-4.tmp", ".qm-fffffff0-1d2e3f-3.tmp", ".qm-+1-2-3-4.tmp",
        "notes.tmp", ".qm-99999999999999999999999-1-2-3.tmp"})
    EXPECT_EQ(temporaryOwner(other), std::nullopt) << other;
}

TEST(CopyRules, TemporariesBesideASavedFileTellTheirOwnersInEveryForm) {
  EXPECT_EQ(temporaryNameBeside("Copy.Copy", {5, 4242, 99}, 17), "Copy.Copy.qm-5-4242-99-17.tmp");
  const struct {
    const char* entry;
    std::optional<TemporaryOwner> owner;
  } cases[] = {
      {"Copy.Copy.qm-5-4242-99-17.tmp", TemporaryOwner{5, 4242, 99}},
      {"Copy.Copy.tmp4242-17", TemporaryOwner{0, 4242, 0}},  // earlier: process and serial
      {"Copy.Copy.tmp987654", TemporaryOwner{}},             // earlier still: digits alone
      {"Copy.Copy.qm-5-4242-17.tmp", std::nullopt},
      {"Copy.Copy.tmp", std::nullopt},
      {"Copy.Copy.tmp12-", std::nullopt},
      {"Copy.Copy.tmp12-3x", std::nullopt},
      {"Copy.Copy.tmp-3", std::nullopt},
      {"Copy.Copy", std::nullopt},
      {"Other.qm-5-4242-99-17.tmp", std::nullopt},
      {"Other.tmp12-3", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(temporaryOwnerBeside("Copy.Copy", c.entry), c.owner) << c.entry;
}

TEST(CopyRules, ACopyKeepsTheNumbersItsUserTellsApart) {
  const std::pair<int, int> cases[] = {
      {err::kPermissionDenied, err::kPermissionDenied},
      {err::kDiskFull, err::kDiskFull},
      {err::kDeviceIo, err::kDeviceIo},
      {err::kFileNotFound, err::kFileNotFound},
      {err::kBadFileName, err::kBadFileName},
      {err::kDiskNotReady, err::kDeviceIo},
      {err::kDeviceUnavailable, err::kDeviceIo},
      {err::kFileExists, err::kPathFileAccess},
      {err::kPathNotFound, err::kPathFileAccess},
      {err::kPastEnd, err::kPathFileAccess},
  };
  for (auto [general, copy] : cases) EXPECT_EQ(copyNumber(general), copy) << general;
}

TEST(CopyRules, NamesAWindowsVolumeCannotHoldAreToldWithTheirReason) {
  using P = NameProblem;
  const struct {
    std::string name;
    NameProblem problem;
  } cases[] = {
      {"notes.txt", P::None},
      {"議事録 2026.docx", P::None},
      {".hidden", P::None},
      {"CONSOLE.txt", P::None},
      {"COM0", P::None},
      {"LPT10", P::None},
      {std::string(255, 'a'), P::None},
      {"\xF0\x9F\x93\x81", P::None},  // one character, two UTF-16 units
      {std::string("caf\xE9"), P::NotUtf8},
      {std::string(256, 'a'), P::TooLong},
      {"a:b", P::ReservedCharacter},
      {"why?", P::ReservedCharacter},
      {"a*", P::ReservedCharacter},
      {"x|y", P::ReservedCharacter},
      {"<x>", P::ReservedCharacter},
      {"say \"hi\"", P::ReservedCharacter},
      {"back\\slash", P::ReservedCharacter},
      {"tab\there", P::ControlCharacter},
      {"ends.", P::TrailingDotOrSpace},
      {"ends ", P::TrailingDotOrSpace},
      {"CON", P::DeviceName},
      {"con.txt", P::DeviceName},
      {"Nul.tar.gz", P::DeviceName},
      {"AUX .log", P::DeviceName},
      {"com1", P::DeviceName},
      {"LPT9.doc", P::DeviceName},
      {"COM\xC2\xB9", P::DeviceName},
  };
  for (const auto& c : cases) EXPECT_EQ(windowsNameProblem(c.name), c.problem) << c.name;
}

// A file lost with success: names that exFAT, NTFS or a share take for one (any script's
// case, or the composed and decomposed forms of a letter) passed the check as two.
TEST(CopyRules, NamesThatADestinationTakesForOneShareTheirFoldedName) {
  const NameFolding byCase{true, false}, byForms{false, true};
  const struct {
    const char* a;
    const char* b;
    std::optional<NameFolding> joins;  // what a destination must fold to take them for one
  } cases[] = {
      {"Notes.TXT", "notes.txt", byCase},
      {"ÀÉÎÕÜ", "àéîõü", byCase},
      {"ŁŚŽ", "łśž", byCase},
      {"ΑΒΓΩ", "αβγω", byCase},
      {"ДОКЁ", "докё", byCase},
      {"ＡＢＣ", "ａｂｃ", byCase},
      {"Ș", "ș", byCase},
      {"Ả", "ả", byCase},
      {"Ά", "ά", byCase},
      {"Σ", "ς", byCase},
      {"σ", "ς", byCase},
      {"Ґ", "ґ", byCase},
      {"Ǎ", "ǎ", byCase},
      {"Ա", "ա", byCase},
      {"Ⅰ", "ⅰ", byCase},
      {"ı", "I", byCase},
      {"\u212A", "k", byCase},
      {"résumé.txt", "re\u0301sume\u0301.txt", byForms},
      {"한", "\u1112\u1161\u11AB", byForms},
      {"RÉSUMÉ", "re\u0301sume\u0301", kFoldsAll},
      {"a\u0323\u0301", "a\u0301\u0323", byForms},  // marks in canonical order
      {"日本語", "日本", std::nullopt},
      {"×", "x", std::nullopt},
      {"e\u0301", "é\u0301", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto joins = foldingThatJoins(c.a, c.b);
    ASSERT_EQ(joins.has_value(), c.joins.has_value()) << c.a << " " << c.b;
    EXPECT_EQ(nameKey(c.a) == nameKey(c.b), c.joins.has_value()) << c.a << " " << c.b;
    if (!joins) continue;
    EXPECT_EQ(joins->caseFolds, c.joins->caseFolds) << c.a << " " << c.b;
    EXPECT_EQ(joins->formsFold, c.joins->formsFold) << c.a << " " << c.b;
  }
  PlanCheck plan({});
  plan.beginFolder("");
  for (const char* name : {"a.txt", "Notes", "b", "NOTES", "notes", "c"})
    plan.entry(name, Listed::File, 1, 1);
  EXPECT_EQ(plan.takeSuspects(), std::vector<std::uint32_t>{PlanCheck::suspectKey("notes")});
  EXPECT_TRUE(plan.takeSuspects().empty());
}

// UTF-8 of one code point, for the table read from the Unicode data.
std::string utf8(char32_t c) {
  std::string s;
  appendUtf8(c, s);
  return s;
}

// Every simple case folding of the Unicode data, for every script it covers, read from the
// data itself: each letter and its folding are one name to a destination that folds case.
TEST(CopyRules, EveryCaseFoldingOfTheUnicodeDataIsOneName) {
  std::FILE* data = std::fopen(QM_UNICODE_DATA "/CaseFolding.txt", "r");
  if (!data) GTEST_SKIP() << QM_UNICODE_DATA "/CaseFolding.txt is missing (bash tools/deps test)";
  char line[512];
  int checked = 0;
  while (std::fgets(line, sizeof line, data)) {
    unsigned code = 0, folded = 0;
    char status = 0;
    if (std::sscanf(line, "%x; %c; %x;", &code, &status, &folded) != 3) continue;
    if (status != 'C' && status != 'S') continue;
    ++checked;
    EXPECT_EQ(foldName(utf8(code), {true, false}), foldName(utf8(folded), {true, false}))
        << std::hex << code;
  }
  std::fclose(data);
  EXPECT_GT(checked, 1400);
}

}  // namespace
}  // namespace qm::copy
