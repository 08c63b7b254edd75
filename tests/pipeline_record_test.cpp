// The copy's record on the fake system: what the last run left decides which files are
// unchanged and which are read back, and what this run leaves for the next.
#include <gtest/gtest.h>

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
  } cases[] = {
      {"nothing changed", ReadBack::Always, [](FakeSystem&) {}, 0, {}, {}},
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
  };
  for (const auto& c : cases) {
    for (const unsigned workers : kWorkerCounts) {
      SCOPED_TRACE(testing::Message() << c.label << ", workers " << workers);
      CopyOptions options;
      options.workers = workers;
      options.readBack = c.readBack;
      Runs runs{FakeSystem(options), FakeSystem(options), {}, {}};
      runTwice(runs, options, c.change);
      ASSERT_EQ(runs.firstResult.number, 0);
      EXPECT_EQ(runs.secondResult.number, c.number);
      Files written = runs.second.written;
      std::sort(written.begin(), written.end());
      EXPECT_EQ(written, c.written);
      EXPECT_EQ(runs.second.readBackFiles, c.readBack2);
      if (c.number == 0) {
        EXPECT_EQ(runs.second.destination, fake::withParents(runs.second.source));
      }
    }
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
