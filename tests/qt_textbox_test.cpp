// Text boxes on the Qt backend: change events, NUL trimming, selection in characters.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "errors.h"
#include "frmMain.h"
#include "qt_test_util.h"

namespace qm::qt {
namespace {

using test::makeBackend;
using test::qtForm;

TEST(QtTextBox, ProgramChangesRaiseChangeOncePerRealChange) {
  using namespace std::string_view_literals;
  struct Step {
    std::string_view set;
    const char* text;
    int changes;
  };
  const Step steps[] = {
      {"abc", "abc", 1},        {"abc", "abc", 0},  // equal value: no event
      {"abc\0def"sv, "abc", 0},                     // kept before the NUL, equal again
      {"xy\0z"sv, "xy", 1},     {"日本語", "日本語", 1}, {"", "", 1}, {""sv, "", 0},
  };
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  TextBox& box = form->textBox("txtWinDir");
  int changes = 0;
  box.Change = [&] { ++changes; };
  for (const Step& s : steps) {
    changes = 0;
    box.setText(s.set);
    EXPECT_EQ(box.text(), s.text);
    EXPECT_EQ(changes, s.changes) << s.text;
  }
}

TEST(QtTextBox, UserTypingRaisesChangePerEditedCharacter) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  TextBox& box = form->textBox("txtWinDir");
  std::vector<std::string> seen;
  box.Change = [&] { seen.push_back(box.text()); };
  auto* edit = static_cast<QLineEdit*>(qtForm(*form).widget("txtWinDir"));
  QTest::keyClicks(edit, "ab");
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "ab", "a"}));
}

TEST(QtTextBox, AnErrorFromAProgramChangeReachesTheSetter) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  TextBox& box = form->textBox("txtWinDir");
  box.Change = [] { throw RuntimeError(err::kPathNotFound); };
  try {
    box.setText("x");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPathNotFound);
  }
}

TEST(QtTextBox, SelectionCountsCharactersNotBytesOrUtf16Units) {
  struct Case {
    const char* text;
    int start, length;
    int wantStart, wantLength;
    const char* selected;
  };
  const Case cases[] = {
      {"abcdef", 1, 3, 1, 3, "bcd"}, {"日本語テキスト", 2, 2, 2, 2, "語テ"},
      {"a😀bc", 1, 2, 1, 2, "😀b"},    // a surrogate pair is one character
      {"abc", 5, 1, 3, 0, ""},       // start past the end: clamped
      {"日本", 0, 9, 0, 2, "日本"},  // length past the end: clamped
      {"abc", -2, 1, 0, 1, "a"},
  };
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  TextBox& box = form->textBox("txtWinDir");
  auto* edit = static_cast<QLineEdit*>(qtForm(*form).widget("txtWinDir"));
  for (const Case& c : cases) {
    box.setText(c.text);
    box.setSelStart(c.start);
    box.setSelLength(c.length);
    EXPECT_EQ(box.selStart(), c.wantStart) << c.text;
    EXPECT_EQ(box.selLength(), c.wantLength) << c.text;
    EXPECT_EQ(edit->selectedText().toStdString(), c.selected) << c.text;
  }
}

}  // namespace
}  // namespace qm::qt
