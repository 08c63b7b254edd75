// The record's index, on every system: read in place of the lines only where its sums
// match them.
#include <gtest/gtest.h>

#include <string>

#include "copy/record.h"
#include "copy/run_record.h"

namespace qm::copy {
namespace {

const std::string kHash(64, 'a');

// The next run takes the files from the record's index where its sums say that the lines
// are as the run wrote them, and parses the lines where not: a line changed since, by hand
// or by the device, decides, never an index left as it was.
TEST(CopyRecord, TheIndexIsReadWhereItMatchesItsLinesAndTheLinesWhereNot) {
  const RecordJob job{"/src", "/dst/top", "pc", "top"};
  const FileStamp s{1, 2, 3, 4}, t{5, 6, 7, 8};
  // The record of a run, and that of a run that found "b" with another source.
  const auto recordOf = [&](const FileStamp& bSource) {
    RunRecord run(job);
    run.add({"a", s, s, kHash, 100});
    run.add({"b", bSource, s, "", 0});
    run.add({"c/d", s, s, "", 0});
    std::string made;
    run.produce(
        {job, 1, 2, 0, {}, {}}, true, [](const LineSink&) {},
        [&](std::string_view piece) { made.append(piece); });
    return made;
  };
  const std::string made = recordOf(s), other = recordOf(t);
  const std::size_t index = made.find("# index\t"), last = made.find("# index end\t3 4 ");
  ASSERT_NE(last, std::string::npos);  // 3 files, 4 lines (one a hash line)
  const auto edited = [&](const std::string& from, const std::string& to) {
    std::string text = made;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::string bLine = "# file\t1 2 3 4\t1 2 3 4\t0\tb\n";
  // This record's lines, the other's index, and a last line whose sums match both: where
  // the sums match, the index is what is read.
  const std::size_t otherLast = other.find("# index end\t");
  const std::string unlike =
      made.substr(0, index) + other.substr(other.find("# index\t"), otherLast - index) +
      made.substr(last, made.rfind(' ') - last) + other.substr(other.rfind(' '));
  const struct {
    const char* what;
    std::string text;
    bool trusted;
    FileStamp bSource;  // "b"'s source as the next run finds it
    bool cFound;
  } cases[] = {
      {"as made", made, true, s, true},
      {"the index of other lines, its sums made to match", unlike, true, t, true},
      {"a line changed by hand", edited(bLine, "# file\t5 6 7 8\t1 2 3 4\t0\tb\n"), true, t, true},
      {"a line lost", edited("# file\t1 2 3 4\t1 2 3 4\t0\tc/d\n", ""), true, s, false},
      {"the index damaged", edited("# index\t", "# index\tx"), true, s, true},
      {"the index's last line lost", made.substr(0, last), true, s, true},
      {"the index's sum changed", edited("\t3 4 ", "\t3 4 0"), true, s, true},
      {"a line after the index", made + bLine, false, s, false},
      {"an index the header does not announce", edited("# qm copy record 2", "# qm copy record 1"),
       true, s, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RunRecord next(job);
    next.startReading([&](const LineSink& piece) {
      piece(c.text);
      return true;
    });
    ASSERT_EQ(next.trusted(), c.trusted);
    if (!c.trusted) continue;
    const auto a = next.find("a"), b = next.find("b");
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(a->file.verified());
    EXPECT_TRUE(b->file.sameStamps(RunRecord::stampsOf(c.bSource, s)));
    EXPECT_EQ(next.find("c/d").has_value(), c.cFound);
  }
}

}  // namespace
}  // namespace qm::copy
