// The copy's record on the fake system: what the last run left decides which files are
// unchanged and which are read back, and what this run leaves for the next.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "copy/record.h"
#include "pipeline_cases.h"

namespace qm::pipeline_cases {
namespace {

using copy::RecordHeader;

struct Runs {
  FakeSystem first, second;
  copy::CopyResult firstResult, secondResult;
};

// Copies kSource, then changes what `change` changes, then copies again.
void runTwice(Runs& runs, CopyOptions& options, void (*change)(FakeSystem&)) {
  runs.first.source = kSource;
  CopyProgress progress;
  runs.firstResult = runCopy(runs.first, options, progress);
  runs.second.source = runs.first.source;
  runs.second.destination = runs.first.destination;
  runs.second.record = runs.first.record;
  change(runs.second);
  CopyProgress again;
  runs.secondResult = runCopy(runs.second, options, again);
}

// A record's lines after its header and before its index (whose files come in any order).
std::string fileLinesOf(const std::optional<std::string>& record) {
  std::string rest = record.value_or("");
  for (int line = 0; line < 4 && !rest.empty(); ++line) rest.erase(0, rest.find('\n') + 1);
  return rest.substr(0, rest.find("# index\t"));
}

std::string headerOnly(int number) {
  return copy::headerLines({FakeSystem::recordJob(), 1, 2, number, {}, {}});
}

// Regressions: a file whose source or copy another program replaced at the same size and
// time was kept with other bytes than the source's, and so was a file a run wrote but
// was cut off before reading back.
TEST(PipelineRecord, TheLastRunsRecordDecidesWhatIsKeptAndWhatIsReadBack) {
  using Files = std::vector<std::string>;
  const struct {
    const char* label;
    ReadBack readBack;
    void (*change)(FakeSystem&);
    int number;
    Files written;
    std::set<std::string> readBack2;
    OldCopies oldCopies = OldCopies::None;
    // The second run leaves each file's line as the first left it.
    bool sameLines = false;
  } cases[] = {
      {"nothing changed", ReadBack::Always, [](FakeSystem&) {}, 0, {}, {}, OldCopies::None, true},
      {"nothing changed, nothing read back",
       ReadBack::Never,
       [](FakeSystem&) {},
       0,
       {},
       {},
       OldCopies::None,
       true},
      {"a source replaced at the same size and time",
       ReadBack::Always,
       [](FakeSystem& s) {
         s.source["b"] = {fake::Item::Kind::File, "X", 1000, {}, 7};
       },
       0,
       {"b"},
       {"b"}},
      {"a copy replaced at the same size and time",
       ReadBack::Always,
       [](FakeSystem& s) {
         s.destination["b"] = {fake::Item::Kind::File, "Y", 1000, {}, 9};
       },
       0,
       {"b"},
       {"b"}},
      {"a copy replaced, nothing read back",
       ReadBack::Never,
       [](FakeSystem& s) {
         s.destination["c"] = {fake::Item::Kind::File, "Y", 1000, {}, 9};
       },
       0,
       {"c"},
       {}},
      // The first run wrote and was cut off: it left only the record it starts with, and
      // the device gives back other bytes of one file.
      {"cut off before its read-back",
       ReadBack::Always,
       [](FakeSystem& s) {
         s.record = headerOnly(copy::kRunNotEnded);
         s.faults.readsBackWrong = {"b"};
       },
       err::kDeviceIo,
       {},
       {"a", "b", "c"}},
      // Without a record it can trust, the copy judges as before by size and time, and
      // reads back only what it writes.
      {"no record", ReadBack::Always, [](FakeSystem& s) { s.record.reset(); }, 0, {}, {}},
      {"a damaged record",
       ReadBack::Always,
       [](FakeSystem& s) { s.record = "# qm copy\n"; },
       0,
       {},
       {}},
      {"the record of another machine",
       ReadBack::Always,
       [](FakeSystem& s) { s.record->replace(s.record->find("\tfake\t"), 6, "\tother\t"); },
       0,
       {},
       {}},
      // Bytes the device lost since, with the copy's stamp as it was: found only by reading
      // every old copy back again, and written again.
      {"an old copy damaged on the device",
       ReadBack::Always,
       [](FakeSystem& s) { s.destination["b"].bytes = "Z"; },
       0,
       {"b"},
       {"a", "b", "c"},
       OldCopies::All},
      {"an old copy damaged, old copies not read back",
       ReadBack::Always,
       [](FakeSystem& s) { s.destination["b"].bytes = "Z"; },
       0,
       {},
       {},
       OldCopies::None,
       true},
      {"old copies where nothing is read back",
       ReadBack::Never,
       [](FakeSystem& s) { s.destination["b"].bytes = "Z"; },
       0,
       {},
       {},
       OldCopies::All},
  };
  for (const auto& c : cases) {
    for (const unsigned workers : kWorkerCounts) {
      SCOPED_TRACE(testing::Message() << c.label << ", workers " << workers);
      CopyOptions options;
      options.workers = workers;
      options.readBack = c.readBack;
      options.oldCopies = c.oldCopies;
      Runs runs{FakeSystem(options), FakeSystem(options), {}, {}};
      runTwice(runs, options, c.change);
      ASSERT_EQ(runs.firstResult.number, 0);
      EXPECT_EQ(runs.secondResult.number, c.number);
      Files written = runs.second.written;
      std::sort(written.begin(), written.end());
      EXPECT_EQ(written, c.written);
      EXPECT_EQ(runs.second.readBackFiles, c.readBack2);
      if (c.sameLines) {
        EXPECT_EQ(fileLinesOf(runs.second.record), fileLinesOf(runs.first.record));
      }
      if (c.number == 0 && c.oldCopies == OldCopies::All && c.readBack == ReadBack::Always) {
        EXPECT_EQ(runs.second.destination, fake::withParents(runs.second.source));
      }
    }
  }
}

// Regression: a copy the device damaged after a run had read it back was never repaired,
// and every later run ended in 0 with other bytes in the copy than in the source.
TEST(PipelineRecord, AnOldCopyDamagedOnTheDeviceIsNamedWrittenAgainAndReadBack) {
  for (const unsigned workers : kWorkerCounts) {
    SCOPED_TRACE(workers);
    CopyOptions options;
    options.workers = workers;
    options.readBack = ReadBack::Always;
    options.oldCopies = OldCopies::All;
    const Tree source{{"a", fake::file("AA")}, {"d/e/f", fake::file("FFF", 3000)}};
    FakeSystem first(options), second(options);
    first.source = second.source = source;
    CopyProgress progress;
    ASSERT_EQ(runCopy(first, options, progress).number, 0);
    second.destination = first.destination;
    second.record = first.record;
    second.destination["d/e/f"].bytes = "fff";
    CopyProgress again;
    const copy::CopyResult result = runCopy(second, options, again);
    EXPECT_EQ(result.number, 0);
    EXPECT_EQ(second.destination, fake::withParents(source));
    const std::string f = "d" + std::string(1, kPathSeparator) + "e" + kPathSeparator + "f";
    EXPECT_EQ(result.repaired, (std::vector<copy::Problem>{{f, copy::repairedCause()}}));
    EXPECT_EQ(result.counts.repaired, 1u);
    EXPECT_EQ(result.counts.written, 1u);
    EXPECT_EQ(result.counts.unchanged, 1u);
    EXPECT_EQ(result.counts.readBack, 3u);  // both old copies, and the one written again
    EXPECT_TRUE(second.finished.contains("d/e")) << "the folder's times were not set again";
    ASSERT_TRUE(second.record);
    EXPECT_EQ(copy::parseHeader(*second.record)->counts.repaired, 1u);
    // A line for each file: the repaired one's with the hash of "FFF", the old one gone.
    const std::string& record = *second.record;
    const auto count = [&](const std::string& text) {
      std::size_t n = 0;
      for (std::size_t at = 0; (at = record.find(text, at)) != std::string::npos; ++at) ++n;
      return n;
    };
    EXPECT_EQ(count("# file\t"), 2u);
    EXPECT_EQ(
        count("20e75777b0e2162dae0cbf93a1bcd48f21da7cc344978bd9f4c5895adbfc6bc5  dst/d/e/f\n"), 1u);
  }
}

TEST(PipelineRecord, TheRecordHoldsTheRunAndEveryFileReadBackWithItsHash) {
  CopyOptions options;
  options.readBack = ReadBack::Always;
  FakeSystem sys(options);
  sys.source = kSource;
  CopyProgress progress;
  const copy::CopyResult result = runCopy(sys, options, progress);
  ASSERT_EQ(result.number, 0);
  ASSERT_TRUE(sys.record);
  const std::optional<RecordHeader> header = copy::parseHeader(*sys.record);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->job, FakeSystem::recordJob());
  EXPECT_EQ(header->number, 0);
  EXPECT_EQ(header->counts, result.counts);
  // SHA-256 of "AA", "B" and "C", under the top folder's name.
  for (const char* line :
       {"58bb119c35513a451d24dc20ef0e9031ec85b35bfc919d263e7e5d9868909cb5  dst/a\n",
        "df7e70e5021544f4834bbee64a9e3789febc4be81470df629cad6ddb03320a5c  dst/b\n",
        "6b23c0d5f35d1b11f9b683f0b0a617355deb11277d91ae091d399c655b87940d  dst/c\n"})
    EXPECT_NE(sys.record->find(line), std::string::npos) << line;

  // Regression: a run that nobody observed left a record that counted nothing.
  CopyOptions unobserved;
  unobserved.readBack = ReadBack::Always;
  FakeSystem quiet(unobserved);
  quiet.source = kSource;
  copy::Pipeline<FakeSystem>(quiet, unobserved).run([&](FakeSystem::Folder& top) {
    quiet.openTop(top);
  });
  ASSERT_TRUE(quiet.record);
  EXPECT_EQ(copy::parseHeader(*quiet.record)->counts, result.counts);
}

// A run that stops part-way leaves the lines of the files it did not reach as they were,
// and says how it ended; a record that cannot be written leaves the copy as it is.
TEST(PipelineRecord, AFailedRunKeepsTheLinesItDidNotReach) {
  CopyOptions options;
  options.workers = 1;
  options.readBack = ReadBack::Always;
  Runs runs{FakeSystem(options), FakeSystem(options), {}, {}};
  runTwice(runs, options, [](FakeSystem& s) {
    s.source["a"] = fake::file("A2", 2000);
    s.faults.refused = {"a"};
  });
  EXPECT_EQ(runs.secondResult.number, err::kPermissionDenied);
  ASSERT_TRUE(runs.second.record);
  const std::string& record = *runs.second.record;
  EXPECT_EQ(copy::parseHeader(record)->number, err::kPermissionDenied);
  for (const char* kept : {"dst/b\n", "dst/c\n"})
    EXPECT_NE(record.find("  " + std::string(kept)), std::string::npos) << kept;

  FakeSystem refused(options);
  refused.source = kSource;
  refused.recordRefused = true;
  CopyProgress progress;
  EXPECT_EQ(runCopy(refused, options, progress).number, 0);
  EXPECT_EQ(refused.destination, fake::withParents(kSource));
}

}  // namespace
}  // namespace qm::pipeline_cases
