// Tests of the portable platform pieces: records, UTF-8 slices, errors, the dispatcher.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors.h"
#include "records.h"
#include "ui/backend.h"
#include "ui/headless/headless.h"
#include "utf8.h"

namespace qm {
namespace {

std::vector<std::string> readAll(const std::string& text, int count) {
  FieldReader reader(text, "test");
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(reader.next());
  return out;
}

struct FieldCase {
  const char* what;
  std::string text;
  std::vector<std::string> fields;
};

TEST(FieldReader, ReadsFieldsByTheRecordRules) {
  const std::vector<FieldCase> cases = {
      {"quoted records, CR LF", "\"a\"\r\n\"b\"\r\n\"c\"\r\n", {"a", "b", "c"}},
      {"LF line ends", "\"a\"\n\"b\"\n\"c\"\n", {"a", "b", "c"}},
      {"lone CR line ends", "\"a\"\r\"b\"\r\"c\"\r", {"a", "b", "c"}},
      {"last line without an end", "\"a\"\r\n\"b\"\r\n\"c\"", {"a", "b", "c"}},
      {"empty quoted value", "\"\"\r\n\"x\"\r\n", {"", "x"}},
      {"comma inside quotes is kept", "\"C:\\a,b\"\r\n", {"C:\\a,b"}},
      {"trailing backslash is kept", "\"D:\\\"\r\n", {"D:\\"}},
      {"leading spaces skipped", "   \"a\"\r\n  b\r\n", {"a", "b"}},
      {"rest after closing quote skipped", "\"a\"junk,\"b\"\r\n", {"a", "b"}},
      {"unquoted to comma, spaces trimmed", "a b  ,c  \r\n", {"a b", "c"}},
      {"empty line reads as empty value", "\"a\"\r\n\r\n\"c\"\r\n", {"a", "", "c"}},
      {"quote without its closing quote runs to the end", "\"abc", {"abc"}},
      {"Japanese value", "\"C:\\データ\\元\"\r\n", {"C:\\データ\\元"}},
  };
  for (const FieldCase& c : cases)
    EXPECT_EQ(readAll(c.text, int(c.fields.size())), c.fields) << c.what;
}

TEST(FieldReader, PastTheEndIsError62) {
  FieldReader reader("\"a\"\r\n\"b\"\r\n", "Copy.Copy");
  reader.next();
  reader.next();
  try {
    reader.next();
    FAIL() << "no error past the end";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPastEnd);
    EXPECT_EQ(e.path, "Copy.Copy");
  }
}

// Guards against a value with a NUL reaching the copy, which would cut the path there.
TEST(FieldReader, AValueWithANulFailsAsADamagedFile) {
  using namespace std::string_literals;
  for (const std::string& text : {"\"/tmp/x\0junk\"\r\n"s, "/tmp/x\0junk\r\n"s, "\"\0\"\r\n"s}) {
    FieldReader reader(text, "Copy.Copy");
    try {
      reader.next();
      ADD_FAILURE() << "a value with a NUL was read";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kPathFileAccess);
      EXPECT_EQ(e.path, "Copy.Copy");
    }
  }
}

TEST(Records, AppendWritesQuotedValueAndCrLf) {
  std::string out;
  appendRecord(out, "C:\\x", "f");
  appendRecord(out, "", "f");
  EXPECT_EQ(out, "\"C:\\x\"\r\n\"\"\r\n");
}

TEST(Records, RefusesValuesARecordCannotHold) {
  for (const std::string& bad :
       std::vector<std::string>{"a\"b", "a\rb", "a\nb", "\"", std::string("a\0b", 3)}) {
    std::string out = "kept";
    try {
      appendRecord(out, bad, "Copy.Copy");
      ADD_FAILURE() << "accepted " << bad;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kInvalidCall);
    }
    EXPECT_EQ(out, "kept");
  }
}

TEST(Utf8, CountsAndSlicesCharacters) {
  EXPECT_EQ(utf8Length("aデb"), 3);
  EXPECT_EQ(utf8Substr("aデb元", 1, 2), "デb");
  EXPECT_EQ(utf8Substr("ab", 1, 10), "b");
}

TEST(Utf8, ValidatesStrictly) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"Café/한국어/📷", true},
      {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF, the last character
      {"caf\xE9", false},           // Latin-1 é
      {"\xC0\xAF", false},          // an overlong '/'
      {"\xE0\x80\xAF", false},      // an overlong '/' in three bytes
      {"\xED\xA0\x80", false},      // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xF0\x9F\x93", false},      // a character cut short
      {"\x80", false},              // a continuation byte alone
  };
  for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.text), c.valid) << c.text;
}

TEST(Errors, DescriptionsAreJapaneseAndReportNamesTheFile) {
  EXPECT_EQ(errorDescription(53), "ファイルが見つかりません。");
  EXPECT_EQ(errorDescription(76), "パスが見つかりません。");
  const std::string report = unhandledErrorReport(RuntimeError(62, "/x/Copy.Copy"));
  EXPECT_NE(report.find("62"), std::string::npos);
  EXPECT_NE(report.find("/x/Copy.Copy"), std::string::npos);
}

TEST(Dispatcher, UnhandledErrorIsReportedThenTheProgramEnds) {
  headless::HeadlessBackend ui("QM(Quillmar)");
  ui.answer(mb::kAnswerOk);
  bool ranAfter = false;
  ui.dispatch([] { throw RuntimeError(err::kPastEnd, "f"); });
  ui.dispatch([&] { ranAfter = true; });
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].style, mb::kIconError);
  EXPECT_EQ(ui.boxes[0].title, "QM(Quillmar)");
  EXPECT_TRUE(ui.ended());
  EXPECT_FALSE(ranAfter);
}

TEST(Dispatcher, ProgramEndPassesThroughErrorHandling) {
  headless::HeadlessBackend ui("t");
  bool caught = false;
  ui.dispatch([&] {
    try {
      endProgram();
    } catch (const RuntimeError&) {
      caught = true;
    } catch (const std::exception&) {
      caught = true;
    }
  });
  EXPECT_FALSE(caught);
  EXPECT_TRUE(ui.ended());
  EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace qm
