// The control contract, continued: message boxes, drive and folder lists, the mouse and
// the window frame; then the registration of every case. Include once per backend.
#pragma once

#include "contract_suite.h"
#include "ui/message_box.h"

namespace qm::contract {

TYPED_TEST_P(ControlContract, MessageBoxesGiveTheAnswerOfTheButtonPressed) {
  struct Case {
    int style;
    std::vector<int> keys;
    int answer;
  } cases[] = {
      {mb::kOk, {mb::kAnswerOk}, mb::kAnswerOk},
      {mb::kOk, {kEscape}, mb::kAnswerOk},
      {mb::kYesNo | mb::kIconQuestion, {mb::kAnswerYes}, mb::kAnswerYes},
      {mb::kYesNo | mb::kIconQuestion, {mb::kAnswerNo}, mb::kAnswerNo},
      {mb::kYesNo | mb::kIconQuestion, {kEscape, mb::kAnswerNo}, mb::kAnswerNo},  // Esc: nothing
      {mb::kRetryCancel | mb::kIconError, {mb::kAnswerRetry}, mb::kAnswerRetry},
      {mb::kRetryCancel | mb::kIconError, {mb::kAnswerCancel}, mb::kAnswerCancel},
      {mb::kRetryCancel | mb::kIconError, {kEscape}, mb::kAnswerCancel},
  };
  this->d.show(contractLayout());
  for (const Case& c : cases) {
    this->d.onNextBox(c.keys);
    EXPECT_EQ(this->d.ui().messageBox("よろしいですか？", c.style, "コピー"), c.answer)
        << "style " << c.style << ", first key " << c.keys.front();
  }
}

TYPED_TEST_P(ControlContract, DriveListTakesKnownDrivesAndChangesOnlyOnAChange) {
  Form& f = this->d.make(contractLayout());
  DriveListBox& list = f.driveList("Drive1");
  int drives = 0;
  list.Change = [&] { ++drives; };
  const std::string start = this->d.startDrive(), other = this->d.otherDrive();
  EXPECT_EQ(list.drive(), start);
  list.setDrive(start);
  EXPECT_EQ(drives, 0);
  list.setDrive(other);
  EXPECT_EQ(list.drive(), other);
  list.setDrive(std::string(1, static_cast<char>(std::tolower(start[0]))) + ":");
  EXPECT_EQ(list.drive(), start);
  EXPECT_EQ(drives, 2);
  EXPECT_EQ(this->errorOf([&] { list.setDrive(this->d.missingDrive()); }), err::kDeviceUnavailable);
  EXPECT_EQ(this->errorOf([&] { list.setDrive(""); }), err::kDeviceUnavailable);
  EXPECT_EQ(list.drive(), start);
  Form& shown = this->d.show(contractLayout());
  shown.driveList("Drive1").Change = [&] { ++drives; };
  this->d.pick(shown, "Drive1", other);
  EXPECT_EQ(shown.driveList("Drive1").drive(), other);
  EXPECT_EQ(drives, 3);
}

TYPED_TEST_P(ControlContract, FolderListOpensFoldersAndChangesOnlyOnAChange) {
  Form& f = this->d.show(contractLayout());
  DirListBox& list = f.dirList("Dir1");
  std::vector<std::string> seen;
  list.Change = [&] { seen.push_back(list.path()); };
  const std::string scratch = this->d.scratch();
  list.setPath(scratch);
  list.setPath(scratch);
  list.setPath(this->d.child(scratch, ""));  // with a trailing separator: the same folder
  EXPECT_EQ(list.path(), scratch);
  EXPECT_EQ(this->d.subfolders(f, "Dir1"), (std::vector<std::string>{"a", "b", "日本語"}));
  EXPECT_EQ(this->errorOf([&] { list.setPath(this->d.child(scratch, "none")); }),
            err::kPathNotFound);
  EXPECT_EQ(list.path(), scratch);
  this->d.open(f, "Dir1", "日本語");
  EXPECT_EQ(list.path(), this->d.child(scratch, "日本語"));
  EXPECT_EQ(this->d.subfolders(f, "Dir1"), std::vector<std::string>{});
  list.setPath(this->d.startDrive());
  EXPECT_EQ(list.path(), this->d.driveFolder(this->d.startDrive()));
  EXPECT_EQ(seen,
            (std::vector<std::string>{scratch, this->d.child(scratch, "日本語"), list.path()}));
}

// Regression: on Win32, opening a folder that could not be listed raised out of the list's
// handler, and the unhandled-error report ended the setup tool.
TYPED_TEST_P(ControlContract, AFolderThatCannotBeOpenedBeepsAndTheListStays) {
  Form& f = this->d.show(contractLayout());
  DirListBox& list = f.dirList("Dir1");
  const std::string scratch = this->d.scratch();
  list.setPath(scratch);
  int opened = 0;
  list.Change = [&] { ++opened; };
  const int beeps = this->d.ui().beeps();
  this->d.vanish(this->d.child(scratch, "b"));  // gone since it was listed
  this->d.open(f, "Dir1", "b");
  EXPECT_EQ(this->d.ui().beeps(), beeps + 1);
  EXPECT_EQ(list.path(), scratch);
  EXPECT_EQ(opened, 0);
  EXPECT_FALSE(this->d.ui().ended()) << "the program ended";
  this->d.open(f, "Dir1", "a");  // the list still works
  EXPECT_EQ(list.path(), this->d.child(scratch, "a"));
}

// A picker loads afresh each time it is opened: its lists start on the program's current
// folder and its drive, whatever an earlier one browsed to.
TYPED_TEST_P(ControlContract, ListsMadeAgainStartWhereTheProgramIsNotWhereTheLastOnesWent) {
  Form& first = this->d.show(contractLayout());
  const std::string start = first.dirList("Dir1").path();
  const std::string drive = first.driveList("Drive1").drive();
  first.dirList("Dir1").setPath(this->d.scratch());
  this->d.open(first, "Dir1", "a");
  this->d.pick(first, "Drive1", this->d.otherDrive());
  first.close();
  Form& again = this->d.show(contractLayout());
  EXPECT_EQ(again.dirList("Dir1").path(), start);
  EXPECT_EQ(again.driveList("Drive1").drive(), drive);
}

TYPED_TEST_P(ControlContract, MouseMovesReachTheWindowOnlyOverItsOwnSurface) {
  Form& f = this->d.show(frmMainLayout());
  std::vector<std::pair<float, float>> moves;
  f.MouseMove = [&](int, int, float x, float y) { moves.emplace_back(x, y); };
  for (const ControlRow& row : frmMainLayout().controls) {
    this->d.moveMouse(f, row.left + row.width / 2, row.top + row.height / 2);
    EXPECT_EQ(moves.size(), 0u) << "over " << row.name;
  }
  this->d.moveMouse(f, 3000, 2295);  // between two buttons
  this->d.moveMouse(f, 150, 1500);   // left of Label3
  EXPECT_EQ(moves, (std::vector<std::pair<float, float>>{{3000.0f, 2295.0f}, {150.0f, 1500.0f}}));
}

TYPED_TEST_P(ControlContract, ClosingByTheFrameRaisesClosedOnce) {
  Form& f = this->d.show(contractLayout());
  int closed = 0;
  f.Closed = [&] { ++closed; };
  this->d.closeByFrame(f);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(f.isOpen());
  Form& g = this->d.show(contractLayout());
  g.Closed = [&] { ++closed; };
  g.close();  // the program closes it: no event
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(g.isOpen());
}

REGISTER_TYPED_TEST_SUITE_P(
    ControlContract, ControlsAreFoundByNameAndKindOnly,
    ProgramTextChangesRaiseChangeOncePerRealChange, UserEditsRaiseChangeOncePerRealChange,
    SelectionIsCountedInCharacters, ShowFocusesTheFirstControlInTabOrderOnce,
    FocusMovesRaiseGotFocusOnlyOnAChange, EnterPressesTheFocusedButtonElseTheDefaultButton,
    AccessKeysNeedAltAndLeaveTheFocusWhereItIs, PlainLettersNeverPressAButton,
    LabelsShowDataLiterallyAndDesignedAccessKeysAsKeys, MessageBoxesGiveTheAnswerOfTheButtonPressed,
    DriveListTakesKnownDrivesAndChangesOnlyOnAChange, FolderListOpensFoldersAndChangesOnlyOnAChange,
    AFolderThatCannotBeOpenedBeepsAndTheListStays,
    ListsMadeAgainStartWhereTheProgramIsNotWhereTheLastOnesWent,
    MouseMovesReachTheWindowOnlyOverItsOwnSurface, ClosingByTheFrameRaisesClosedOnce);

}  // namespace qm::contract
