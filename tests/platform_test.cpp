// Tests of the platform layer: records, code page, files, errors and the dispatcher.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "backend.h"
#include "codepage.h"
#include "errors.h"
#include "headless.h"
#include "records.h"
#include "temp_folder.h"
#include "textfile.h"
#include "utf8.h"
#include "windir.h"

namespace qm {
namespace {

using testing::TempFolder;

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
  for (const FieldCase& c : cases) EXPECT_EQ(readAll(c.text, int(c.fields.size())), c.fields) << c.what;
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

TEST(Records, AppendWritesQuotedValueAndCrLf) {
  std::string out;
  appendRecord(out, "C:\\x", "f");
  appendRecord(out, "", "f");
  EXPECT_EQ(out, "\"C:\\x\"\r\n\"\"\r\n");
}

TEST(Records, RefusesValuesARecordCannotHold) {
  for (const char* bad : {"a\"b", "a\rb", "a\nb", "\""}) {
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

TEST(CodePage, ConvertsJapaneseToShiftJisAndBack) {
  const std::string utf8 = "C:\\データ\\元､ー～";
  const std::string ansi = toAnsi(utf8, "f");
  EXPECT_EQ(ansi.substr(0, 5), "C:\\\x83\x66");  // デ is 0x83 0x66 in code page 932
  EXPECT_EQ(fromAnsi(ansi, "f"), utf8);
  EXPECT_EQ(toAnsi("plain ascii", "f"), "plain ascii");
}

TEST(CodePage, RefusesCharactersOutsideTheCodePage) {
  for (const char* bad : {"😀", "한국", "é", "\u00A0"}) {
    EXPECT_THROW(toAnsi(std::string("C:\\") + bad, "f"), RuntimeError) << bad;
  }
}

TEST(CodePage, InvalidBytesFailTheRead) {
  EXPECT_THROW(fromAnsi("\x81", "f"), RuntimeError);  // a lead byte without its trail byte
}

TEST(Utf8, CountsAndSlicesCharacters) {
  EXPECT_EQ(utf8Length("aデb"), 3);
  EXPECT_EQ(utf8Substr("aデb元", 1, 2), "デb");
  EXPECT_EQ(utf8Substr("ab", 1, 10), "b");
}

class ConfigFolder : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1); }
  TempFolder dir;
};

TEST_F(ConfigFolder, WindowsDirectoryIsTheConfigFolderWhenItFits) {
  std::string buffer(100, ' ');
  EXPECT_EQ(getWindowsDirectoryA(buffer.data(), 100), dir.path().size());
  EXPECT_EQ(buffer.substr(0, buffer.find('\0')), dir.path());
}

TEST_F(ConfigFolder, TooSmallBufferIsLeftUntouched) {
  std::string buffer(5, ' ');
  EXPECT_EQ(getWindowsDirectoryA(buffer.data(), 5), dir.path().size() + 1);
  EXPECT_EQ(buffer, "     ");
}

TEST_F(ConfigFolder, RelativeXdgFallsBackToHomeConfig) {
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  ::setenv("HOME", dir.path().c_str(), 1);
  std::string buffer(255, ' ');
  getWindowsDirectoryA(buffer.data(), 255);
  EXPECT_EQ(buffer.substr(0, buffer.find('\0')), dir.path() + "/.config");
}

TEST_F(ConfigFolder, AtomicReplaceWritesAndReplaces) {
  const std::string file = dir / "f.txt";
  replaceFileAtomically(file, "one");
  replaceFileAtomically(file, "two");
  EXPECT_EQ(readWholeFile(file), "two");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Guards against a failed save destroying the file it was meant to replace.
TEST_F(ConfigFolder, FailedReplaceLeavesTheOldFileAndNoTemporary) {
  const std::string file = dir / "f.txt";
  replaceFileAtomically(file, "old");
  std::filesystem::create_directory(dir / "blocker");
  EXPECT_THROW(replaceFileAtomically(dir / "blocker", "new"), RuntimeError);
  EXPECT_EQ(readWholeFile(file), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(ConfigFolder, MissingFoldersAreCreatedOnWrite) {
  replaceFileAtomically(dir / "a/b/f.txt", "x");
  EXPECT_EQ(readWholeFile(dir / "a/b/f.txt"), "x");
}

TEST_F(ConfigFolder, ReadErrorsCarryTheirNumbers) {
  testing::writeBytes(dir / "file", "x");
  struct Case {
    std::string path;
    int number;
  };
  for (const Case& c : {Case{dir / "missing", err::kFileNotFound},
                        Case{dir / "nodir/missing", err::kFileNotFound},
                        Case{dir / "file/below", err::kPathNotFound}}) {
    try {
      readWholeFile(c.path);
      ADD_FAILURE() << c.path;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, c.number) << c.path;
      EXPECT_EQ(e.path, c.path);
    }
  }
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
