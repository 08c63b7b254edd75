// The control contract every backend keeps, as typed cases run against each backend's
// driver: the fixture, its layout, and the cases of text, focus, keys and captions.
//
// A driver makes forms on its backend and acts as the user through the toolkit's own
// input path:
//   Backend& ui();
//   Form& make(const FormLayout&);  Form& show(const FormLayout&) (shown, active)
//   void type(Form&, box, text)     the user replaces the box's text (as a paste does)
//   void tab(Form&), enter(Form&), key(Form&, char), altKey(Form&, char)
//   void click(Form&, button), closeByFrame(Form&), moveMouse(Form&, x, y) in twips
//   std::string focused(Form&)      the control that has the toolkit's focus
//   std::string shownCaption(Form&, label)   a label's caption as it is drawn
//   void onNextBox(std::vector<int>)   on the next message box: press the buttons of those
//                                      answers in turn, kEscape for the Esc key
//   drives and folders: startDrive(), otherDrive(), missingDrive(), driveFolder(spec),
//   scratch() (a folder holding a, b and 日本語), child(folder, name),
//   subfolders(Form&, list), open(Form&, list, name), pick(Form&, list, spec),
//   vanish(folder) (removes an empty folder behind the lists' back)
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "frmCopy.h"
#include "frmMain.h"
#include "ui/backend.h"

namespace qm::contract {

inline constexpr int kEscape = 0;

// clang-format off
// Buttons with and without access keys and a default, text boxes, a label with an access
// key, a label that shows data, and the two lists.
inline const FormLayout& contractLayout() {
  static const FormLayout layout{
    "frmContract", "契約", 7200, 4800, StartUpPosition::CenterScreen, WindowIcon::SetupTool,
    {
      {ControlType::CommandButton, "cmdOK",    "&OK",            4800, 3900, 1200, 495,  3, kDefaultFont, {}, kDefault},
      {ControlType::CommandButton, "cmdEnd",   "やめる(&E)",     3360, 3900, 1200, 495,  4},
      {ControlType::CommandButton, "cmdPlain", "閉じる",         1920, 3900, 1200, 495,  5},
      {ControlType::TextBox,       "txtA",     "",               1800, 240,  3000, 300,  1},
      {ControlType::TextBox,       "txtB",     "",               1800, 720,  3000, 300,  2},
      {ControlType::Label,         "Label1",   "ファイル名(&N)", 240,  240,  1400, 300,  0},
      {ControlType::Label,         "lblData",  "",               240,  1200, 135,  285,  6, pt(11.25), {}, kAutoSize | kBorder},
      {ControlType::DriveListBox,  "Drive1",   "",               240,  1680, 3000, 300,  7},
      {ControlType::DirListBox,    "Dir1",     "",               240,  2160, 3000, 1500, 8},
    }};
  return layout;
}
// clang-format on

// The forms a driver made, dropped (and so closed) with it.
class DriverForms {
 public:
  Form& make(Backend& ui, const FormLayout& layout) {
    forms_.push_back(ui.createForm(layout));
    return *forms_.back();
  }
  void clear() { forms_.clear(); }

 private:
  std::vector<std::unique_ptr<Form>> forms_;
};

template <class Driver>
class ControlContract : public ::testing::Test {
 protected:
  // Counts each button's Click and each box's Change and GotFocus, by control name.
  void count(Form& f, const FormLayout& layout) {
    for (const ControlRow& row : layout.controls) {
      const std::string name(row.name);
      if (row.type == ControlType::CommandButton)
        f.button(name).Click = [this, name] { clicks.push_back(name); };
      if (row.type == ControlType::TextBox) {
        f.textBox(name).Change = [this, name] { changes.push_back(name); };
        f.textBox(name).GotFocus = [this, name] { gotFocus.push_back(name); };
      }
    }
  }
  static int errorOf(auto&& action) {
    try {
      action();
    } catch (const RuntimeError& e) {
      return e.number;
    }
    return 0;
  }

  Driver d;
  std::vector<std::string> clicks, changes, gotFocus;
};

TYPED_TEST_SUITE_P(ControlContract);

TYPED_TEST_P(ControlContract, ControlsAreFoundByNameAndKindOnly) {
  Form& f = this->d.make(contractLayout());
  EXPECT_EQ(this->errorOf([&] { f.label("Label1"); }), 0);
  EXPECT_EQ(this->errorOf([&] { f.textBox("txtA"); }), 0);
  EXPECT_EQ(this->errorOf([&] { f.driveList("Drive1"); }), 0);
  EXPECT_EQ(this->errorOf([&] { f.dirList("Dir1"); }), 0);
  EXPECT_EQ(this->errorOf([&] { f.button("txtA"); }), err::kInvalidCall);
  EXPECT_EQ(this->errorOf([&] { f.label("cmdOK"); }), err::kInvalidCall);
  EXPECT_EQ(this->errorOf([&] { f.textBox("txtNone"); }), err::kInvalidCall);
  EXPECT_EQ(this->errorOf([&] { f.setFocus("Label1"); }), err::kInvalidCall);
}

TYPED_TEST_P(ControlContract, ProgramTextChangesRaiseChangeOncePerRealChange) {
  using namespace std::string_view_literals;
  struct Step {
    std::string_view set;
    const char* text;
    int changes;
  } steps[] = {{"abc", "abc", 1},    {"abc", "abc", 0},       {"abc\0def"sv, "abc", 0},
               {"xy\0z"sv, "xy", 1}, {"日本語", "日本語", 1}, {"", "", 1},
               {"\0x"sv, "", 0}};
  Form& f = this->d.make(contractLayout());
  this->count(f, contractLayout());
  for (const Step& s : steps) {
    this->changes.clear();
    f.textBox("txtA").setText(s.set);
    EXPECT_EQ(f.textBox("txtA").text(), s.text);
    EXPECT_EQ(this->changes.size(), static_cast<std::size_t>(s.changes)) << s.text;
  }
  f.textBox("txtA").Change = [] { throw RuntimeError(err::kPathNotFound); };
  EXPECT_EQ(this->errorOf([&] { f.textBox("txtA").setText("x"); }), err::kPathNotFound);
}

TYPED_TEST_P(ControlContract, UserEditsRaiseChangeOncePerRealChange) {
  Form& f = this->d.show(contractLayout());
  this->count(f, contractLayout());
  this->d.type(f, "txtB", "C:\\データ");
  this->d.type(f, "txtB", "C:\\データ");
  EXPECT_EQ(f.textBox("txtB").text(), "C:\\データ");
  EXPECT_EQ(this->changes, std::vector<std::string>{"txtB"});
}

TYPED_TEST_P(ControlContract, SelectionIsCountedInCharacters) {
  struct Case {
    const char* text;
    int start, length;
    int wantStart, wantLength;
  } cases[] = {{"abcdef", 1, 3, 1, 3}, {"日本語テキスト", 2, 2, 2, 2},
               {"a😀bc", 1, 2, 1, 2},   {"😀😀x", 2, 1, 2, 1},
               {"abc", 5, 1, 3, 0},    {"日本", 0, 9, 0, 2},
               {"abc", -2, 1, 0, 1}};
  Form& f = this->d.make(contractLayout());
  TextBox& box = f.textBox("txtA");
  for (const Case& c : cases) {
    box.setText(c.text);
    EXPECT_EQ(box.selStart(), 0) << "a new text puts the caret first: " << c.text;
    box.setSelStart(c.start);
    box.setSelLength(c.length);
    EXPECT_EQ(box.selStart(), c.wantStart) << c.text;
    EXPECT_EQ(box.selLength(), c.wantLength) << c.text;
  }
}

TYPED_TEST_P(ControlContract, ShowFocusesTheFirstControlInTabOrderOnce) {
  struct Case {
    const FormLayout* layout;
    const char* first;
  } cases[] = {
      {&contractLayout(), "txtA"}, {&frmMainLayout(), "cmdCopy"}, {&frmCopyLayout(), "txtCopy1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout->name);
    this->gotFocus.clear();
    Form& f = this->d.make(*c.layout);
    this->count(f, *c.layout);
    f.show();
    f.show();  // a shown window only comes to the front
    EXPECT_EQ(this->d.focused(f), c.first);
    const bool box = findControl(*c.layout, c.first)->type == ControlType::TextBox;
    EXPECT_EQ(this->gotFocus, box ? std::vector<std::string>{c.first} : std::vector<std::string>{});
  }
}

TYPED_TEST_P(ControlContract, FocusMovesRaiseGotFocusOnlyOnAChange) {
  Form& f = this->d.show(contractLayout());
  this->count(f, contractLayout());
  f.setFocus("txtB");
  f.setFocus("txtB");
  EXPECT_EQ(this->gotFocus, std::vector<std::string>{"txtB"});
  this->d.tab(f);  // the user: txtB to cmdOK
  EXPECT_EQ(this->d.focused(f), "cmdOK");
  f.setFocus("txtA");
  this->d.tab(f);
  EXPECT_EQ(this->d.focused(f), "txtB");
  EXPECT_EQ(this->gotFocus, (std::vector<std::string>{"txtB", "txtA", "txtB"}));
  // A program move raises GotFocus directly: its error reaches the caller.
  f.textBox("txtA").GotFocus = [] { throw RuntimeError(err::kPathNotFound); };
  EXPECT_EQ(this->errorOf([&] { f.setFocus("txtA"); }), err::kPathNotFound);
}

TYPED_TEST_P(ControlContract, EnterPressesTheFocusedButtonElseTheDefaultButton) {
  struct Case {
    const FormLayout* layout;
    const char* focus;
    const char* pressed;  // nullptr: none
  } cases[] = {
      {&frmMainLayout(), "cmdCopy", "cmdCopy"}, {&frmMainLayout(), "txtWinDir", nullptr},
      {&frmCopyLayout(), "txtCopy1", "cmdOK"},  {&frmCopyLayout(), "cmdCan", "cmdCan"},
      {&frmCopyLayout(), "cmdSun2", "cmdSun2"}, {&contractLayout(), "txtB", "cmdOK"},
      {&contractLayout(), "Drive1", "cmdOK"},   {&contractLayout(), "cmdPlain", "cmdPlain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.layout->name) + " focus on " + c.focus);
    Form& f = this->d.show(*c.layout);
    this->count(f, *c.layout);
    f.setFocus(c.focus);
    this->clicks.clear();
    this->d.enter(f);
    EXPECT_EQ(this->clicks,
              c.pressed ? std::vector<std::string>{c.pressed} : std::vector<std::string>{});
    f.close();
  }
}

TYPED_TEST_P(ControlContract, AccessKeysNeedAltAndLeaveTheFocusWhereItIs) {
  Form& f = this->d.show(contractLayout());
  this->count(f, contractLayout());
  this->d.altKey(f, 'e');
  this->d.altKey(f, 'o');
  EXPECT_EQ(this->clicks, (std::vector<std::string>{"cmdEnd", "cmdOK"}));
  EXPECT_EQ(this->d.focused(f), "txtA");
  // A label's access key moves the focus to the control after it in tab order.
  f.setFocus("txtB");
  this->gotFocus.clear();
  this->d.altKey(f, 'n');
  EXPECT_EQ(this->d.focused(f), "txtA");
  EXPECT_EQ(this->gotFocus, std::vector<std::string>{"txtA"});
}

TYPED_TEST_P(ControlContract, PlainLettersNeverPressAButton) {
  Form& f = this->d.show(contractLayout());
  this->count(f, contractLayout());
  for (const char* button : {"cmdOK", "cmdEnd", "cmdPlain"}) {
    f.setFocus(button);
    for (char letter : {'e', 'o', 'n', 'E'}) this->d.key(f, letter);
    EXPECT_EQ(this->d.focused(f), button);
  }
  EXPECT_EQ(this->clicks, std::vector<std::string>{});
  f.setFocus("txtB");
  this->d.key(f, 'e');
  EXPECT_EQ(f.textBox("txtB").text(), "e");
}

TYPED_TEST_P(ControlContract, LabelsShowDataLiterallyAndDesignedAccessKeysAsKeys) {
  Form& f = this->d.show(contractLayout());
  EXPECT_EQ(this->d.shownCaption(f, "Label1"), "ファイル名(N)");
  struct Case {
    std::string_view set;
    const char* caption;
  } cases[] = {
      {"C:\\R&D", "C:\\R&D"}, {"A&&B", "A&&B"}, {std::string_view("C:\\x\0y", 6), "C:\\x"}};
  for (const Case& c : cases) {
    f.label("lblData").setCaption(c.set);
    EXPECT_EQ(f.label("lblData").caption(), c.caption);
    EXPECT_EQ(this->d.shownCaption(f, "lblData"), c.caption);
  }
}

}  // namespace qm::contract
