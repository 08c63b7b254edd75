// The copy pipeline on the in-memory system: the check before writing, and the read-back.
#include "pipeline_cases.h"

namespace qm::pipeline_cases {
namespace {

// A folder of many one-byte files, more than the first pieces of a kept listing hold,
// between `first` and `last` (listed first and last).
constexpr int kLargeFolder = 500;
Tree largeFolder(const char* first = nullptr, const char* last = nullptr) {
  Tree tree;
  for (const char* name : {first, last})
    if (name) tree.insert({std::string("big/") + name, file("1")});
  for (int i = 0; i < kLargeFolder; ++i)
    tree.insert({"big/m" + std::to_string(1000 + i), file("1")});
  return tree;
}
std::vector<std::string> largeFolderNames() {
  std::vector<std::string> names;
  for (const auto& [path, item] : largeFolder()) names.push_back(path);
  return names;
}
// Room for the first two pieces of a listing (12 KiB) and more beside, not for the third:
// a large folder is dropped, and holds at most 12 KiB meanwhile, so that a small folder
// listed beside it still fits.
void smallBudget(FakeSystem& sys, CopyOptions&) {
  sys.keptBytes = 6 * copy::KeptListings::kFirstPiece;
}

// A folder of more folders, each with a file, than the walk and the check hold in memory.
constexpr int kManyFolders = 3000;
Tree manyFolders() {
  Tree tree;
  for (int i = 0; i < kManyFolders; ++i)
    tree.insert({"many/f" + std::to_string(10000 + i) + "/x", file("1")});
  return tree;
}

std::vector<Case> checkAndReadBackCases() {
  constexpr std::uint64_t kLarge = kLargeFolder;
  constexpr std::uint64_t kMany = kManyFolders;
  std::vector<std::string> manyWritten;
  for (const auto& [path, item] : manyFolders()) manyWritten.push_back(path);
  return {
      // ---- A folder larger than the listings the check keeps for the walk. ----
      {"a large folder kept in pieces is copied whole",
       largeFolder(),
       {},
       nothing,
       {.written = largeFolderNames(),
        .counts = {.found = kLarge, .bytesFound = kLarge, .written = kLarge},
        .after = largeFolder()}},
      {"a folder over the budget, not kept, is listed again and copied whole",
       largeFolder(),
       {},
       smallBudget,
       {.written = largeFolderNames(),
        .counts = {.found = kLarge, .bytesFound = kLarge, .written = kLarge},
        .after = largeFolder()}},
      {"a folder of more folders than memory holds is copied whole",
       manyFolders(),
       {},
       nothing,
       {.written = manyWritten,
        .counts = {.found = kMany, .bytesFound = kMany, .written = kMany},
        .after = manyFolders()}},
      {"two names folded into one, first and last of a folder over the budget",
       largeFolder("X", "x"),
       {},
       [](FakeSystem& sys, CopyOptions& o) {
         smallBudget(sys, o);
         sys.folding.caseFolds = true;
       },
       {.number = err::kFileExists,
        .path = dst("big/x"),
        .counts = {.failed = 1},
        .failures = {{rel("big/x"), copy::caseCause("X", "x")}}},
       true},
      {"a refused copy removes the top folder it made",
       kSource,
       {},
       [](FakeSystem& sys, CopyOptions&) {
         sys.destinationTopExists = false;
         sys.volume.freeBytes = 3;
       },
       {.number = err::kDiskFull,
        .path = dst(""),
        .counts = {.failed = 1},
        .failures = {{"", copy::spaceCause(1)}}},
       true},
      // ---- The check before anything is written. ----
      {"not enough free space",
       kSource,
       {},
       [](FakeSystem& sys, CopyOptions&) { sys.volume.freeBytes = 3; },
       {.number = err::kDiskFull,
        .path = dst(""),
        .counts = {.failed = 1},
        .failures = {{"", copy::spaceCause(1)}}},
       true},
      {"the first problems in listing order, the first named",
       {{"a", file("A")}, {"b?c", file("B")}, {"big", file("BIG")}},
       {},
       [](FakeSystem& sys, CopyOptions&) {
         sys.volume.windowsNames = true;
         sys.volume.maxFileSize = 2;
         sys.volume.typeName = "FAT32";
       },
       {.number = err::kBadFileName,
        .path = dst("b?c"),
        .counts = {.failed = 2},
        .failures = {{"b?c", copy::nameCause(copy::NameProblem::ReservedCharacter, "b?c")},
                     {"big", copy::sizeLimitCause("FAT32", 2)}}},
       true},
      {"a wide name the destination does not take",
       {{"a", file("A")}, {"データ", file("D")}},
       {},
       [](FakeSystem& sys, CopyOptions&) { sys.faults.takesWideNames = false; },
       {.number = err::kBadFileName,
        .path = dst("データ"),
        .counts = {.failed = 1},
        .failures = {{"データ", copy::numberCause(err::kBadFileName, false)}}},
       true},
      {"two names the destination folds into one",
       {{"sub/Read.me", file("1")}, {"sub/READ.ME", file("2")}, {"z", file("Z")}},
       {},
       [](FakeSystem& sys, CopyOptions&) { sys.folding.caseFolds = true; },
       {.number = err::kFileExists,
        .path = dst("sub/Read.me"),
        .counts = {.failed = 1},
        .failures = {{rel("sub/Read.me"), copy::caseCause("READ.ME", "Read.me")}}},
       true},
      {"a folder where the copy needs a file",
       {{"a", file("A")}, {"b", file("B")}},
       {{"b", folder()}, {"b/inner", file("kept")}},
       nothing,
       {.number = err::kFileExists,
        .path = dst("b"),
        .counts = {.failed = 1},
        .failures = {{"b", copy::numberCause(err::kFileExists, false)}}},
       true},
      // ---- The read-back. ----
      {"read back always: other bytes fail the copy and spoil the file",
       kSource,
       {},
       [](FakeSystem& sys, CopyOptions& o) {
         o.readBack = ReadBack::Always;
         sys.faults.readsBackWrong = {"b"};
       },
       {.number = err::kDeviceIo,
        .path = dst("b"),
        .written = {"a", "b", "c"},
        .counts = {.found = 3, .bytesFound = 4, .written = 3, .failed = 1, .readBack = 3},
        .failures = {{"b", copy::readBackCause()}},
        .after = Tree{{"a", file("AA")}, {"b", file("B", -1)}, {"c", file("C")}}}},
      {"a risky medium is read back by default",
       kSource,
       {},
       [](FakeSystem& sys, CopyOptions&) {
         sys.riskyMedium = true;
         sys.faults.readsBackWrong = {"c"};
       },
       {.number = err::kDeviceIo,
        .path = dst("c"),
        .written = {"a", "b", "c"},
        .counts = {.found = 3, .bytesFound = 4, .written = 3, .failed = 1, .readBack = 3},
        .failures = {{"c", copy::readBackCause()}},
        .after = Tree{{"a", file("AA")}, {"b", file("B")}, {"c", file("C", -1)}}}},
      {"a safe medium is not read back by default",
       kSource,
       {},
       [](FakeSystem& sys, CopyOptions&) { sys.faults.readsBackWrong = {"c"}; },
       {.written = {"a", "b", "c"},
        .counts = {.found = 3, .bytesFound = 4, .written = 3},
        .after = kSource}},
      {"never read back, even on a risky medium",
       kSource,
       {},
       [](FakeSystem& sys, CopyOptions& o) {
         o.readBack = ReadBack::Never;
         sys.riskyMedium = true;
         sys.faults.readsBackWrong = {"c"};
       },
       {.written = {"a", "b", "c"},
        .counts = {.found = 3, .bytesFound = 4, .written = 3},
        .after = kSource}},
  };
}

TEST(Pipeline, TheCheckAndTheReadBackEndAsTheTableSays) {
  for (const Case& c : checkAndReadBackCases())
    for (const unsigned workers : kWorkerCounts) expectCase(c, workers);
}

// A re-copy that writes nothing ran ahead of the check beside it and listed most folders a
// second time, reading each file's status twice (slow where every status is a round trip
// to a share or a FUSE driver). The walk takes the check's listing of each folder below the
// top; only a listing over the budget, and the top, are listed by both.
TEST(Pipeline, TheWalkListsOnlyWhatTheCheckDidNotKeep) {
  Tree tree;
  for (const char* folder : {"d0", "d1", "d2", "d3", "d4/in", "d5/in/deep"})
    tree.insert({std::string(folder) + "/f", file("F")});
  Tree withBig = tree;
  withBig.merge(largeFolder());
  const struct {
    const char* label;
    const Tree& source;
    bool recopy, check;
    pipeline_cases::Setup setup;
    int top;            // listings of the top folder
    const char* twice;  // the one folder below the top listed twice; null for none
  } cases[] = {
      {"a re-copy that keeps every file", tree, true, true, nothing, 2, nullptr},
      {"a fresh copy", tree, false, true, nothing, 2, nullptr},
      {"without the check: the walk alone", tree, true, false, nothing, 1, nullptr},
      {"a folder over the budget", withBig, true, true, smallBudget, 2, "big"},
  };
  for (const auto& c : cases) {
    for (const unsigned workers : kWorkerCounts) {
      SCOPED_TRACE(testing::Message() << c.label << ", workers " << workers);
      CopyOptions options;
      options.workers = workers;
      options.checkFirst = c.check;
      FakeSystem sys(options);
      sys.source = c.source;
      if (c.recopy) sys.destination = c.source;
      c.setup(sys, options);
      sys.surveyPause = std::chrono::milliseconds(2);
      CopyProgress progress;
      ASSERT_EQ(runCopy(sys, options, progress).number, 0);
      std::map<std::string, int> expected;
      for (const std::string& folder : foldersOf(c.source))
        expected[folder] = folder.empty() ? c.top : c.twice && folder == c.twice ? 2 : 1;
      EXPECT_EQ(sys.sizedListings, expected);
    }
  }
}

// Four old copies replaced in four folders, so that workers replace them side by side
// unless the pipeline holds them to one at a time; each new copy takes its space beside
// the old one until it replaces it.
TEST(Pipeline, ReplacementsGoOneAtATimeWhereSpaceFitsOnlyOne) {
  const Tree source = {{"s1/a", file("NNNN", 2000)},
                       {"s2/b", file("NNNN", 2000)},
                       {"s3/c", file("NNNN", 2000)},
                       {"s4/d", file("NNNN", 2000)}};
  Tree old = source;
  for (auto& [path, item] : old) item = file("OOOO");
  const struct {
    std::uint64_t freeBytes;
    int number;
    std::size_t written;
    unsigned mostAtOnce;  // 0: any number
  } cases[] = {{5, 0, 4, 1}, {16, 0, 4, 0}, {3, err::kDiskFull, 0, 0}};
  for (const auto& c : cases) {
    for (const unsigned workers : kWorkerCounts) {
      SCOPED_TRACE(testing::Message() << c.freeBytes << " bytes free, workers " << workers);
      CopyOptions options;
      options.workers = workers;
      FakeSystem sys(options);
      sys.source = source;
      sys.destination = old;
      sys.volume.freeBytes = c.freeBytes;
      CopyProgress progress;
      EXPECT_EQ(runCopy(sys, options, progress).number, c.number);
      EXPECT_EQ(sys.written.size(), c.written);
      if (c.mostAtOnce != 0) {
        EXPECT_EQ(sys.mostReplacingAtOnce, c.mostAtOnce);
      }
    }
  }
}

// The copy the read-back found wrong is written again by the next run, and only it.
TEST(Pipeline, ASpoiledCopyIsWrittenAgainByTheNextRun) {
  for (const unsigned workers : kWorkerCounts) {
    SCOPED_TRACE(testing::Message() << "workers " << workers);
    CopyOptions options;
    options.workers = workers;
    options.readBack = ReadBack::Always;
    FakeSystem first(options);
    first.source = kSource;
    first.faults.readsBackWrong = {"b"};
    CopyProgress progress;
    ASSERT_EQ(runCopy(first, options, progress).number, err::kDeviceIo);
    FakeSystem second(options);
    second.source = kSource;
    second.destination = first.destination;
    CopyProgress again;
    EXPECT_EQ(runCopy(second, options, again).number, 0);
    EXPECT_EQ(second.written, std::vector<std::string>{"b"});
    EXPECT_EQ(second.destination, kSource);
  }
}

// Large files went side by side onto media that serve one stream best (a stick, a FUSE
// driver, a spinning disk), which made the copy, and its read-back many times over, slower.
TEST(Pipeline, LargeFilesTakeTurnsWhereTheMediumServesOneStream) {
  using enum Medium;
  using enum LargeFiles;
  constexpr std::uint64_t kLarge = kLargeFileBytes;
  const struct {
    Medium medium;
    LargeFiles policy;
    std::uint64_t size;
    bool alone;
  } cases[] = {
      {Removable, ByMedium, kLarge, true},   {Fuse, ByMedium, 4 * kLarge, true},
      {Rotational, ByMedium, kLarge, true},  {Solid, OneAtATime, kLarge, true},
      {Solid, ByMedium, 4 * kLarge, false},  {Network, ByMedium, 4 * kLarge, false},
      {Fuse, SideBySide, 4 * kLarge, false}, {Removable, ByMedium, kLarge - 1, false},
      {Fuse, OneAtATime, kLarge - 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "medium " << static_cast<int>(c.medium) << ", policy "
                                    << static_cast<int>(c.policy) << ", size " << c.size);
    EXPECT_EQ(goesAlone(c.policy, c.medium, c.size), c.alone);
    CopyOptions options;
    options.workers = 4;
    options.readBack = ReadBack::Always;
    options.largeFiles = c.policy;
    FakeSystem sys(options);
    for (char i = 0; i < 6; ++i)
      sys.source[std::string{'f', static_cast<char>('0' + i)}] =
          file(std::string(c.size, static_cast<char>('a' + i)));
    sys.destinationMedium = c.medium;
    CopyProgress progress;
    ASSERT_EQ(runCopy(sys, options, progress).number, 0);
    EXPECT_EQ(sys.destination, sys.source);
    if (c.size < kLarge) continue;
    // Six files on four workers, each held a while by the system: side by side, they meet.
    EXPECT_EQ(sys.mostLargeWrittenAtOnce == 1, c.alone) << sys.mostLargeWrittenAtOnce;
    EXPECT_EQ(sys.mostLargeReadAtOnce == 1, c.alone) << sys.mostLargeReadAtOnce;
  }
}

}  // namespace
}  // namespace qm::pipeline_cases
