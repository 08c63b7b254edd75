// What a copy may spend, run on every system: the free space a plan needs, the media the
// read-back runs on, the record of the files written and the listings kept in memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>

#include "copy/kept_listings.h"
#include "copy/options.h"
#include "copy/packed_entries.h"
#include "copy/plan_check.h"
#include "copy/rules.h"
#include "copy/written_files.h"
#include "errors.h"

namespace qm::copy {
namespace {

// The space a copy needs at most: what it writes, in the volume's units, less what the files
// it replaces give back, with room beside the ones it replaces at once. Regressions: folders
// took no space (80 folders of a small file each onto 1 MiB clusters ended in 61); four
// files replaced at once by four workers did not fit where one at a time did; a sparse file
// counted its whole size where the destination keeps holes.
TEST(CopyBudget, TheFreeSpaceRefusesOnlyWhatCannotFit) {
  using Pairs = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
  constexpr std::uint64_t MiB = 1 << 20;
  const struct {
    const char* what;
    std::optional<std::uint64_t> free;
    std::uint64_t unit;
    std::vector<std::uint64_t> written;  // files written where nothing is
    Pairs replaced;                      // old and new sizes
    int folders;                         // folders made, each with one written file of 1 byte
    Pairs sized;                         // files by their size and the bytes they take
    bool fits, fitsFourAtOnce;
  } cases[] = {
      {"exactly the free space", 100, 1, {60, 40}, {}, 0, {}, true, true},
      {"a byte more", 99, 1, {60, 40}, {}, 0, {}, false, false},
      {"small files take a cluster each", 8192, 4096, {1, 1, 1}, {}, 0, {}, false, false},
      {"nothing written onto a full volume", 0, 4096, {}, {}, 0, {}, true, true},
      {"a replaced file needs room beside the old one",
       50,
       1,
       {},
       {{100, 100}},
       0,
       {},
       false,
       false},
      {"room for the new copy beside the old", 120, 1, {}, {{100, 120}}, 0, {}, true, true},
      {"replaced files give back their space", 60, 1, {}, {{50, 50}, {50, 50}}, 0, {}, true, false},
      {"four replaced at once need room beside each",
       54 * MiB,
       1,
       {},
       {{50 * MiB, 50 * MiB}, {50 * MiB, 50 * MiB}, {50 * MiB, 50 * MiB}, {50 * MiB, 50 * MiB}},
       0,
       {},
       true,
       false},
      {"a volume that tells no free space",
       std::nullopt,
       1,
       {std::uint64_t{1} << 60},
       {},
       0,
       {},
       true,
       true},
      {"folders take a cluster each", 100 * MiB, MiB, {}, {}, 80, {}, false, false},
      {"folders that fit, with a unit for the copy's record",
       161 * MiB,
       MiB,
       {},
       {},
       80,
       {},
       true,
       true},
      // Regression: the record beside the copy took no space in the check.
      {"the copy's record needs room too", 160 * MiB, MiB, {}, {}, 80, {}, false, false},
      {"a sparse file takes what it holds",
       256 * MiB,
       4096,
       {},
       {},
       0,
       {{2048 * MiB, 4 * MiB}},
       true,
       true},
  };
  for (const auto& c : cases) {
    VolumeLimits limits;
    limits.freeBytes = c.free;
    limits.unit = c.unit;
    PlanCheck plan(limits);
    for (const std::uint64_t size : c.written) plan.writes(size);
    for (const auto& [before, after] : c.replaced) plan.replaces(before, after);
    plan.beginFolder("");
    for (int i = 0; i < c.folders; ++i) {
      plan.entry(std::to_string(i), Listed::Folder, 0, 0);
      plan.entry(std::to_string(i) + ".f", Listed::File, 1, 1);
    }
    for (const auto& [size, taken] : c.sized) plan.entry("s", Listed::File, size, taken);
    EXPECT_EQ(plan.fits(), c.fits) << c.what;
    EXPECT_EQ(plan.fitsReplacing(4), c.fitsFourAtOnce) << c.what;
    plan.finishSpace();
    EXPECT_EQ(plan.problems().size(), c.fits ? 0u : 1u) << c.what;
  }
}

TEST(CopyBudget, TheReadBackRunsWhereThePolicyAndTheMediumSay) {
  const struct {
    ReadBack policy;
    bool risky, reads;
  } cases[] = {{ReadBack::ByMedium, true, true}, {ReadBack::ByMedium, false, false},
               {ReadBack::Always, false, true},  {ReadBack::Always, true, true},
               {ReadBack::Never, true, false},   {ReadBack::Never, false, false}};
  for (const auto& c : cases) EXPECT_EQ(readsBack(c.policy, c.risky), c.reads) << c.risky;
}

// The record of the files written gives them back in order, however many went to the
// scratch file in steps and however many are still held in memory.
TEST(CopyBudget, TheFilesWrittenComeBackInTheOrderTheyWereAdded) {
  for (const int count : {0, 1, 3, 40000}) {
    WrittenFiles files;
    std::uint64_t bytes = 0;
    for (int i = 0; i < count; ++i) {
      const std::string name = "folder " + std::to_string(i % 97) + "/写真 " + std::to_string(i);
      files.add(i == 2 ? std::string() : name, {static_cast<std::uint64_t>(i), -i, i * 3});
      bytes += static_cast<std::uint64_t>(i);
    }
    EXPECT_EQ(files.count(), static_cast<std::uint64_t>(count));
    EXPECT_EQ(files.bytes(), bytes);
    files.rewind();
    WrittenFile file;
    int read = 0;
    for (; files.next(file); ++read) {
      const std::string name =
          "folder " + std::to_string(read % 97) + "/写真 " + std::to_string(read);
      ASSERT_EQ(file.relative, read == 2 ? std::string() : name);
      ASSERT_EQ(file.stamp, (FileStamp{static_cast<std::uint64_t>(read), -read, read * 3}));
    }
    EXPECT_EQ(read, count);
  }
}

// The folders of one folder come back in order, each once, whether held in memory, all in
// the scratch file, or some of each: a folder of a million folders held them all in memory.
TEST(CopyBudget, TheFoldersOfAFolderComeBackInOrderHeldOrSpilled) {
  constexpr std::size_t kHeld = PackedEntries::kHeldBytes;
  const struct {
    int count;
    std::size_t bytes;  // of each entry, with its number at the front
  } cases[] = {{0, 0}, {1, 0}, {3, 40}, {5000, 40}, {4, kHeld + 1}, {3, kHeld / 2}, {200, 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " of " << c.bytes << " bytes");
    PackedEntries folders("dst");
    const auto entryOf = [&](int i) {
      std::string entry = std::to_string(i) + ":";
      entry.resize(std::max(c.bytes, entry.size()), static_cast<char>('a' + i % 26));
      return entry;
    };
    for (int i = 0; i < c.count; ++i) folders.add([&](std::string& into) { into += entryOf(i); });
    EXPECT_EQ(folders.count(), static_cast<std::size_t>(c.count));
    int read = 0;
    for (std::string entry; folders.next(entry); ++read) ASSERT_EQ(entry, entryOf(read));
    EXPECT_EQ(read, c.count);
  }
}

// The check's listings are kept for the walk only within the budget of bytes, each given
// once, in the order they were listed; a listing too large is dropped while it is made, and
// every listing taken or dropped gives its room back: memory stays bounded however large the
// tree or one folder of it.
TEST(CopyBudget, ListingsAreKeptWithinTheBudgetAndTakenOnce) {
  constexpr std::size_t kEntry = 1000;  // packed bytes of each entry, its kind's byte with them
  // Room for the pieces of the steps below and what each kept listing takes beside them.
  constexpr std::size_t kBudget = (16 << 10) + 1024;
  KeptListings kept(kBudget);
  const auto keep = [&](const std::string& folder, int entries) {
    KeptListings::Maker listing(&kept, folder);
    for (int i = 0; i < entries; ++i) {
      listing.add(Listed::File, [&](std::string& into) {
        into.append(kEntry - 1 - sizeof i, 'x');
        into.append(reinterpret_cast<const char*>(&i), sizeof i);
      });
      ASSERT_LE(kept.left(), kBudget);
    }
    listing.keep();
  };
  const struct {
    char step;  // k: keep, t: take
    const char* folder;
    int entries;  // kept: its entries; taken: the entries expected, -1 for none
  } steps[] = {{'k', "a", 6},  {'k', "b", 9},  {'t', "b", -1}, {'k', "b", 4},  {'k', "a", 1},
               {'t', "a", 6},  {'t', "a", -1}, {'k', "c", 6},  {'t', "b", 4},  {'t', "c", 6},
               {'k', "", 0},   {'t', "", 0},   {'k', "d", 40}, {'t', "d", -1}, {'k', "e", 12},
               {'t', "e", 12}, {'k', "f", 17}, {'t', "f", -1}};
  for (const auto& s : steps) {
    if (s.step == 'k') {
      keep(s.folder, s.entries);
      continue;
    }
    const auto taken = kept.take(s.folder);
    int count = -1;
    if (taken) {
      count = 0;
      taken->each([&](Listed kind, std::string_view& packed) {
        EXPECT_EQ(kind, Listed::File);
        int index = -1;
        std::memcpy(&index, packed.data() + kEntry - 1 - sizeof index, sizeof index);
        EXPECT_EQ(index, count++) << s.folder;
        packed.remove_prefix(kEntry - 1);
        return true;
      });
    }
    EXPECT_EQ(count, s.entries) << s.folder;
  }
  EXPECT_EQ(kept.left(), kBudget);
  // Empty folders take room too: a tree of many of them, kept while the writes wait for
  // the check, held them all.
  constexpr int kEmpty = 1000;
  for (int i = 0; i < kEmpty; ++i) keep("empty" + std::to_string(i), 0);
  int taken = 0;
  for (int i = 0; i < kEmpty; ++i) taken += kept.take("empty" + std::to_string(i)).has_value();
  EXPECT_GT(taken, 0);
  EXPECT_LT(taken, kEmpty);
  EXPECT_EQ(kept.left(), kBudget);
}

// Regression: a re-copy of a million files held the last run's record (16 MB) beside the
// full budget of kept listings, over 32 MiB in all. What the run holds beside the listings
// now lowers their budget; listings kept already stay, and their room, once given back,
// first pays for the lowering.
TEST(CopyBudget, TheListingsGiveWayToWhatTheRunHoldsBesideThem) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  const KeptListings full;
  const struct {
    std::size_t held, budget;
  } rules[] = {{0, KeptListings::kByteBudget},
               {12 * kMiB, KeptListings::kByteBudget},
               {13 * kMiB, 5 * kMiB},
               {16 * kMiB, KeptListings::kLeastBudget},
               {100 * kMiB, KeptListings::kLeastBudget}};
  for (const auto& rule : rules) EXPECT_EQ(full.budgetBeside(rule.held), rule.budget) << rule.held;
  // A small budget given is never raised.
  EXPECT_EQ(KeptListings(1000).budgetBeside(0), 1000u);

  constexpr std::size_t kBudget = 64 << 10;
  KeptListings kept(kBudget);
  const auto keep = [&](const std::string& folder, int entries) {
    KeptListings::Maker listing(&kept, folder);
    for (int i = 0; i < entries; ++i)
      listing.add(Listed::File, [](std::string& into) { into.append(999, 'x'); });
    listing.keep();
  };
  keep("a", 40);
  const std::size_t heldByA = kBudget - kept.left();
  ASSERT_GT(heldByA, std::size_t{32} << 10);  // more than the budget it is lowered to
  kept.lowerBudget(16 << 10);
  EXPECT_EQ(kept.left(), 0u);
  keep("b", 1);
  EXPECT_FALSE(kept.take("b").has_value()) << "kept beyond the lowered budget";
  EXPECT_TRUE(kept.take("a").has_value());
  EXPECT_EQ(kept.left(), std::size_t{16} << 10);
  kept.lowerBudget(32 << 10);  // a budget is only ever lowered
  EXPECT_EQ(kept.left(), std::size_t{16} << 10);
  keep("c", 10);
  EXPECT_TRUE(kept.take("c").has_value());
  EXPECT_EQ(kept.left(), std::size_t{16} << 10);
}

}  // namespace
}  // namespace qm::copy
