// The copy's record, on every system: its lines written and read back, damage found, and
// the hashes it holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "copy/record.h"
#include "copy/run_record.h"
#include "os/digest.h"
#include "os/paths.h"

namespace qm::copy {
namespace {

// Reads `text` (lines after a header) as the record's reader does, up to its index.
std::vector<RecordedFile> readLines(const std::string& text, const std::string& top,
                                    bool& damaged) {
  RecordReader reader(top);
  std::vector<RecordedFile> files;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find('\n', from);
    const std::string_view line = std::string_view(text).substr(from, end - from);
    if (IndexReader::isIndexLine(line)) break;
    if (const RecordedFile* file = reader.take(line)) files.push_back(*file);
    from = end == std::string::npos ? text.size() : end + 1;
  }
  if (const RecordedFile* file = reader.finish()) files.push_back(*file);
  damaged = reader.damaged();
  return files;
}

const std::string kHash(64, 'a');
const std::string kOther = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(CopyRecord, FilesComeBackAsTheyWereWrittenWhateverTheirNames) {
  const FileStamp s{12, 1'700'000'000'123'456'789, 1'700'000'001'000'000'000, 42};
  const FileStamp c{12, 1'700'000'000'123'456'789, 1'700'000'002'000'000'000, 7};
  const std::vector<RecordedFile> files{
      {"a.txt", s, c, kHash, 1'700'000'100},
      {"写真/夏 休み.jpg", s, c, kOther, 1'700'000'100},
      {"never/read.bin", s, c, "", 0},  // written where nothing reads back: no hash line
      {"back\\slash.txt", s, c, kHash, 5},
      {"line\nend.txt", s, c, kHash, 5},
      {"tab\there.txt", s, c, "", 0},
      {"# looks like a comment", {}, {}, kHash, 0},
      {"  spaces  ", {0, -5, 0, 0}, {}, kOther, 0},  // a time before 1970
      // The numbers at the ends of their ranges.
      {"ends", {UINT64_MAX, INT64_MIN, INT64_MAX, UINT64_MAX}, {1, -1, 0, 0}, "", INT64_MAX},
      {"ends too", {0, INT64_MAX, INT64_MIN, 0}, {}, "", INT64_MIN},
  };
  std::string text;
  for (const RecordedFile& f : files) text += fileLines(f, "バックアップ");
  bool damaged = true;
  EXPECT_EQ(readLines(text, "バックアップ", damaged), files);
  EXPECT_FALSE(damaged);
}

// Lines as `sha256sum` must read them: the name below the folder holding the record, with
// its backslashes and line ends escaped and the line marked where it has any.
TEST(CopyRecord, HashLinesAreWhatSha256sumReads) {
  const struct {
    const char* relative;
    std::string hashLine;
  } cases[] = {
      {"a.txt", kHash + "  top/a.txt\n"},        {"d/名前.txt", kHash + "  top/d/名前.txt\n"},
      {"a\\b", "\\" + kHash + "  top/a\\\\b\n"}, {"a\nb", "\\" + kHash + "  top/a\\nb\n"},
      {"a\tb", kHash + "  top/a\tb\n"},
  };
  for (const auto& c : cases) {
    const std::string lines = fileLines({c.relative, {}, {}, kHash, 0}, "top");
    ASSERT_NE(lines.find('\n'), std::string::npos);
    EXPECT_EQ(lines.substr(lines.find('\n') + 1), c.hashLine) << c.relative;
    EXPECT_EQ(lines.front(), '#') << c.relative;
  }
}

// A record with any line out of place is not trusted from that line on.
TEST(CopyRecord, DamageIsFoundWhereverItIs) {
  const std::string good = fileLines({"a", {1, 2, 3, 4}, {1, 2, 3, 5}, kHash, 9}, "t");
  const std::string fileLine = good.substr(0, good.find('\n') + 1);
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"a hash line with no file before it", kHash + "  t/a\n"},
      {"a hash line of another file", fileLine + kHash + "  t/b\n"},
      {"a hash line of another top", fileLine + kHash + "  u/a\n"},
      {"a short hash", fileLine + kHash.substr(1) + "  t/a\n"},
      {"a hash in capitals", fileLine + std::string(64, 'A') + "  t/a\n"},
      {"a stamp with a letter", "# file\t1 2 3 x\t1 2 3 5\t9\ta\n"},
      {"a stamp short of a number", "# file\t1 2 3\t1 2 3 5\t9\ta\n"},
      {"a size past 64 bits", "# file\t18446744073709551616 2 3 4\t1 2 3 5\t9\ta\n"},
      {"a size of 21 digits", "# file\t100000000000000000000 2 3 4\t1 2 3 5\t9\ta\n"},
      {"a negative size", "# file\t-1 2 3 4\t1 2 3 5\t9\ta\n"},
      {"a time past 63 bits", "# file\t1 9223372036854775808 3 4\t1 2 3 5\t9\ta\n"},
      {"a time below 63 bits", "# file\t1 -9223372036854775809 3 4\t1 2 3 5\t9\ta\n"},
      {"a sign alone", "# file\t1 - 3 4\t1 2 3 5\t9\ta\n"},
      {"a plus sign", "# file\t1 +2 3 4\t1 2 3 5\t9\ta\n"},
      {"two spaces", "# file\t1  2 3 4\t1 2 3 5\t9\ta\n"},
      {"a letter after the last digit", "# file\t1 2 3 4\t1 2 3 5\t9x\ta\n"},
      {"no name", "# file\t1 2 3 4\t1 2 3 5\t9\t\n"},
      {"a bad escape", "# file\t1 2 3 4\t1 2 3 5\t9\ta\\q\n"},
      {"a cut line", good.substr(0, 20) + "\n"},
      {"an unknown line", good + "# something else\n"},
      {"an empty line", good + "\n" + good},
  };
  for (const auto& c : cases) {
    bool damaged = false;
    readLines(c.text, "t", damaged);
    EXPECT_TRUE(damaged) << c.what;
  }
}

TEST(CopyRecord, TheHeaderComesBackAndADamagedOneIsNone) {
  RecordHeader header{"/home/u/文書",
                      "/media/u/STICK/文書",
                      "pc-1",
                      "文書",
                      1'700'000'000,
                      1'700'000'060,
                      61,
                      "/media/u/STICK/文書/big\tfile.iso",
                      {10, 1000, 3, 6, 1, 1, 3, 1}};
  RecordHeader indexed = header;
  indexed.indexed = true;
  EXPECT_EQ(parseHeader(headerLines(indexed)), indexed);
  const std::string lines = headerLines(header);
  EXPECT_EQ(parseHeader(lines), header);
  EXPECT_EQ(lines.find("\n#"), lines.find('\n'));  // every line a comment
  const struct {
    const char* what;
    std::string text;
  } damaged[] = {
      {"nothing", ""},
      {"another version", "# qm copy record 3" + lines.substr(lines.find('\n'))},
      {"a line missing", lines.substr(lines.find('\n') + 1)},
      {"a count missing", lines.substr(0, lines.rfind(' ', lines.rfind(' ') - 1)) + "\n"},
      {"a job field missing",
       "# qm copy record 1\n# job\ta\tb\tc\n" + lines.substr(lines.find("# run"))},
  };
  for (const auto& c : damaged) EXPECT_EQ(parseHeader(c.text), std::nullopt) << c.what;
  // A record from before the count of repaired copies is read, without it.
  RecordHeader earlier = header;
  earlier.counts.repaired = 0;
  EXPECT_EQ(parseHeader(lines.substr(0, lines.rfind(' ')) + "\n"), earlier);
}

// Each run reads back again the old copies read back longest ago, as many as there is time
// for, and never one it did not keep as it was or that no read-back ever passed.
TEST(CopyRecord, OldCopiesAreChosenLongestAgoFirstWhileThereIsTime) {
  const RecordJob job{"/src", "/dst/top", "pc", "top"};
  struct Line {
    const char* file;
    std::int64_t verified;
    bool kept;
  };
  const std::vector<Line> lines{{"d/late", 300, true},
                                {"early", 100, true},
                                {"never", 0, true},
                                {"d/mid", 200, true},
                                {"written", 50, false}};
  std::string text = headerLines({job, 1, 2, 0, {}, {}});
  for (const Line& l : lines)
    text += fileLines({l.file, {1, 2, 3, 4}, {1, 5, 6, 7}, kHash, l.verified}, "top");
  const std::string separator(1, kPathSeparator);
  // The candidates are weighed a batch at a time, each read from the old record again: a
  // batch smaller than the files gives the same choice.
  const struct {
    std::size_t fit;  // how many the time allows
    std::size_t batch;
    std::vector<std::string> chosen;
  } cases[] = {
      {0, RunRecord::kChoiceBatch, {}},
      {1, RunRecord::kChoiceBatch, {"early"}},
      {2, RunRecord::kChoiceBatch, {"early", "d" + separator + "mid"}},
      {9, RunRecord::kChoiceBatch, {"d" + separator + "late", "early", "d" + separator + "mid"}},
      {1, 1, {"early"}},
      {2, 1, {"early", "d" + separator + "mid"}},
      {9, 2, {"d" + separator + "late", "early", "d" + separator + "mid"}},
      {9, 3, {"d" + separator + "late", "early", "d" + separator + "mid"}}};
  const auto feed = [&](const LineSink& piece) {
    piece(text);
    return true;
  };
  // Held in memory, and sorted through scratch files two files at a time.
  for (const std::size_t held : {OldIndex::kHeldFiles, std::size_t{2}})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(c.fit) + " in batches of " + std::to_string(c.batch) + ", held " +
                   std::to_string(held));
      RunRecord record(job, c.batch, held);
      record.startReading(feed);
      ASSERT_TRUE(record.trusted());
      for (const Line& l : lines)
        if (l.kept) record.keep(*record.find(l.file));
      std::size_t fitted = 0;
      WrittenFiles chosen;
      record.chooseOldCopies([&](std::uint64_t size) { return size == 1 && fitted++ < c.fit; },
                             [&](const LineSink& piece) { feed(piece); }, chosen);
      std::vector<std::string> got;
      chosen.rewind();
      for (WrittenFile file; chosen.next(file);) {
        EXPECT_EQ(file.stamp, (FileStamp{1, 2, 3, 4}));
        EXPECT_EQ(file.copy, (FileStamp{1, 5, 6, 7}));
        got.push_back(file.relative);
      }
      EXPECT_EQ(got, c.chosen);  // in the record's order
      // A second round goes on with the ones chosen next, never one chosen before.
      if (c.fit != 1) continue;
      WrittenFiles next;
      fitted = 0;
      record.chooseOldCopies([&](std::uint64_t) { return fitted++ < 1; },
                             [&](const LineSink& piece) { feed(piece); }, next);
      WrittenFile file;
      next.rewind();
      ASSERT_TRUE(next.next(file));
      EXPECT_EQ(file.relative, "d" + separator + "mid");
      EXPECT_FALSE(next.next(file));
    }
}

// The old record's lines are found by their paths, however many: the index places them by
// their keys' top bits, more bits the more files, and sorts each run of them; beyond the
// files it holds in memory, it sorts runs of that many and merges them in a scratch file.
TEST(CopyRecord, EveryOldLineIsFoundByItsPathAndNoOtherPath) {
  const RecordJob job{"/src", "/dst/top", "pc", "top"};
  const auto pathOf = [](std::size_t i) {
    // Appended, not "d" + ...: MinGW's GCC 12 warns falsely of an overlap (-Wrestrict) there.
    std::string path = "d";
    path.append(std::to_string(i / 40)).append("/f").append(std::to_string(i));
    return path;
  };
  const auto stampOf = [](std::size_t i) {
    return FileStamp{i, static_cast<std::int64_t>(i) * 7, 3, i + 1};
  };
  const struct {
    std::size_t files, held;
  } cases[] = {{0, OldIndex::kHeldFiles},
               {1, OldIndex::kHeldFiles},
               {16, OldIndex::kHeldFiles},
               {17, OldIndex::kHeldFiles},
               {33, OldIndex::kHeldFiles},
               {1000, OldIndex::kHeldFiles},
               {20000, OldIndex::kHeldFiles},
               {1, 1},
               {2, 1},
               {33, 32},
               {1000, 7},
               {20000, 3000},
               {20000, 1}};
  for (const auto [files, held] : cases) {
    SCOPED_TRACE(std::to_string(files) + " files, held " + std::to_string(held));
    std::string text = headerLines({job, 1, 2, 0, {}, {}});
    for (std::size_t i = 0; i < files; ++i)
      text += fileLines({pathOf(i), stampOf(i), stampOf(i + 1), "", 0}, "top");
    RunRecord record(job, RunRecord::kChoiceBatch, held);
    record.startReading([&](const LineSink& piece) {
      piece(text);
      return true;
    });
    ASSERT_TRUE(record.trusted());
    std::size_t found = 0;
    for (std::size_t i = 0; i < files; ++i) {
      const auto line = record.find(pathOf(i));
      found += line && line->file.sameStamps(RunRecord::stampsOf(stampOf(i), stampOf(i + 1)));
    }
    EXPECT_EQ(found, files);
    for (std::size_t i = files; i < files + 100; ++i) EXPECT_FALSE(record.find(pathOf(i)));
  }
}

// The new record holds this run's lines, then the old lines of the files left as they were;
// where the run did not complete, the old lines of every file it gave no line. Alike where
// the old record's index is held in memory and where it is sorted through scratch files.
TEST(CopyRecord, TheNewRecordKeepsTheOldLinesOfWhatTheRunDidNotWrite) {
  const RecordJob job{"/src", "/dst/top", "pc", "top"};
  const FileStamp s{1, 2, 3, 4};
  // Old lines were verified at 100, this run's at 0 (written) or 200 (read back again).
  std::string old = headerLines({job, 1, 2, 0, {}, {}});
  for (const char* name : {"kept", "written", "again", "unreached", "also kept"})
    old += fileLines({name, s, s, kHash, 100}, "top");
  const auto feed = [&](const LineSink& piece) {
    piece(old);
    return true;
  };
  const struct {
    bool complete;
    std::vector<std::pair<std::string, std::int64_t>> lines;  // path, when verified
  } cases[] = {
      {true, {{"written", 0}, {"again", 200}, {"new", 0}, {"kept", 100}, {"also kept", 100}}},
      {false,
       {{"written", 0},
        {"again", 200},
        {"new", 0},
        {"kept", 100},
        {"unreached", 100},
        {"also kept", 100}}},
  };
  for (const std::size_t held : {OldIndex::kHeldFiles, std::size_t{1}, std::size_t{2}})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.complete ? "complete" : "cut off") + ", held " +
                   std::to_string(held));
      RunRecord record(job, RunRecord::kChoiceBatch, held);
      record.startReading(feed);
      ASSERT_TRUE(record.trusted());
      for (const char* name : {"kept", "also kept", "again"}) record.keep(*record.find(name));
      record.add({"written", s, s, "", 0});
      record.replaced("again");
      record.add({"again", s, s, kHash, 200});
      record.add({"new", s, s, "", 0});
      std::string made;
      record.produce(
          {job, 5, 6, 0, {}, {}}, c.complete, [&](const LineSink& piece) { feed(piece); },
          [&](std::string_view piece) { made.append(piece); });
      // Where the old record's files are held in memory, the new record ends with an index.
      const bool indexed = held == OldIndex::kHeldFiles;
      const std::string header = headerLines({job, 5, 6, 0, {}, {}, indexed});
      ASSERT_EQ(made.substr(0, header.size()), header);
      EXPECT_EQ(made.find("\n# index\t") != std::string::npos, indexed);
      bool damaged = true;
      std::vector<std::pair<std::string, std::int64_t>> got;
      for (const RecordedFile& file : readLines(made.substr(header.size()), "top", damaged))
        got.emplace_back(file.relative, file.verified);
      EXPECT_FALSE(damaged);
      EXPECT_EQ(got, c.lines);
    }
}

// This run's lines come back in the order they were added, those held in memory and those
// that outgrew it into a scratch file alike.
TEST(CopyRecord, ThisRunsLinesComeBackInOrderHoweverMany) {
  const RecordJob job{"/src", "/dst/top", "pc", "top"};
  const FileStamp s{1, 2, 3, 4};
  // Appended, not "f" + ...: MinGW's GCC 12 warns falsely of an overlap (-Wrestrict) there.
  const auto nameOf = [](std::size_t i) { return std::string("f").append(std::to_string(i)); };
  for (const std::size_t files : {0, 1, 100000}) {
    SCOPED_TRACE(std::to_string(files) + " files");
    RunRecord record(job);
    for (std::size_t i = 0; i < files; ++i) record.add({nameOf(i), s, s, "", 0});
    std::string made;
    record.produce(
        {job, 5, 6, 0, {}, {}}, true, [](const LineSink&) {},
        [&](std::string_view piece) { made.append(piece); });
    const std::string header = headerLines({job, 5, 6, 0, {}, {}, true});
    ASSERT_EQ(made.substr(0, header.size()), header);
    bool damaged = true;
    const std::vector<RecordedFile> got = readLines(made.substr(header.size()), "top", damaged);
    EXPECT_FALSE(damaged);
    ASSERT_EQ(got.size(), files);
    for (std::size_t i = 0; i < files; ++i) EXPECT_EQ(got[i].relative, nameOf(i));
  }
}

// The digests of the standard's own examples, in one piece and in many.
TEST(Digest, Sha256GivesTheKnownDigestsInAnyPieces) {
  const struct {
    std::string bytes;
    std::size_t piece;
    const char* hex;
  } cases[] = {
      {"", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abc", 1, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1'000'000, 'a'), 4096,
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  Sha256 hash;
  for (const auto& c : cases) {
    for (std::size_t at = 0; at < c.bytes.size(); at += c.piece)
      hash.add(c.bytes.data() + at, std::min(c.piece, c.bytes.size() - at));
    EXPECT_EQ(hash.hex(), c.hex) << c.bytes.size() << " bytes in pieces of " << c.piece;
  }
}

}  // namespace
}  // namespace qm::copy
