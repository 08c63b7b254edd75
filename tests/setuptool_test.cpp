// The settings window frmCopy on the headless backend: load, OK, Cancel and focus.
#include <fstream>

#include "contact.h"
#include "folder_lock.h"
#include "odd_files.h"
#include "os/codepage.h"
#include "frmMain.h"
#include "frmPicker.h"
#include "setuptool_fixture.h"
#include "ui/form_rules.h"

namespace qm::test {
namespace {

using headless::HForm;

// ---- layout ---------------------------------------------------------------------------

TEST(FrmCopyLayout, ControlsStackAndTabAsDesigned) {
  struct Row {
    const char* name;
    int left, top, width, height, tab;
  };
  // Stacking order, top first.
  const Row expected[] = {
      {"cmdCan", 3360, 1440, 1575, 495, 5},  {"txtWinDir", 3840, 1440, 855, 375, 8},
      {"cmdOK", 1320, 1440, 1575, 495, 4},   {"cmdSun2", 6360, 840, 1095, 375, 3},
      {"cmdSan1", 6360, 240, 1095, 375, 2},  {"txtCopy2", 1080, 840, 4935, 375, 1},
      {"txtCopy1", 1080, 240, 4935, 375, 0}, {"lblCopy2", 120, 840, 735, 255, 7},
      {"lblCopy1", 120, 240, 735, 255, 6},
  };
  const FormLayout& layout = frmCopyLayout();
  ASSERT_EQ(layout.controls.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const ControlRow& row = layout.controls[i];
    const Row& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(row.name, e.name);
    EXPECT_EQ((std::vector{row.left, row.top, row.width, row.height, row.tabIndex}),
              (std::vector{e.left, e.top, e.width, e.height, e.tab}));
  }
  EXPECT_EQ(layout.caption, "QMS(QuillmarSetter)");
  EXPECT_EQ(findControl(layout, "cmdOK")->other, unsigned{kDefault});
  EXPECT_EQ(findControl(layout, "txtCopy1")->other, unsigned{kImeHiragana});
  EXPECT_EQ(findControl(layout, "txtCopy2")->other, unsigned{kNone});
}

// The Windows-directory box must be hidden by lying wholly beneath the Cancel button.
TEST(FrmCopyLayout, WindowsDirectoryBoxLiesBeneathCancel) {
  const FormLayout& layout = frmCopyLayout();
  const ControlRow& box = *findControl(layout, "txtWinDir");
  const ControlRow& cancel = *findControl(layout, "cmdCan");
  EXPECT_GE(box.left, cancel.left);
  EXPECT_GE(box.top, cancel.top);
  EXPECT_LE(box.left + box.width, cancel.left + cancel.width);
  EXPECT_LE(box.top + box.height, cancel.top + cancel.height);
  EXPECT_LT(&cancel, &box);  // earlier in stacking order: above
}

// ---- load -----------------------------------------------------------------------------

TEST_F(SetupToolTest, FirstStartWithoutFileOpensEmptyAndSilent) {
  HForm& f = start();
  EXPECT_TRUE(f.shown());
  EXPECT_EQ(box("txtCopy1"), "");
  EXPECT_EQ(box("txtCopy2"), "");
  EXPECT_EQ(box("txtWinDir"), dir_);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(settingsFileExists());
  EXPECT_EQ(f.focused(), "txtCopy1");
}

TEST_F(SetupToolTest, LoadPrefillsBoxesAndSelectsSourceText) {
  writeSettingsBytes(
      toAnsi("\"/home/田中/データ\"\r\n\"/mnt/バックアップ/\"\r\n\"データ\"\r\n", "test"));
  HForm& f = start();
  EXPECT_EQ(box("txtCopy1"), "/home/田中/データ");
  EXPECT_EQ(box("txtCopy2"), "/mnt/バックアップ/");
  EXPECT_EQ(window->BaseName, "データ");
  EXPECT_EQ(f.focused(), "txtCopy1");
  EXPECT_EQ(f.text("txtCopy1").selectedText(), "/home/田中/データ");
  EXPECT_TRUE(ui.boxes.empty());
}

// Guards against a Copy.Copy that is not a plain job keeping the window from opening.
TEST_F(SetupToolTest, OddSettingsFileOpensTheWindowEmptyAndSilent) {
  for (const testing::OddFile& odd : testing::oddSettingsFiles()) {
    SCOPED_TRACE(odd.what);
    std::filesystem::remove_all(settingsFile());
    std::filesystem::remove(settingsFile() + ".fifo");
    odd.make(settingsFile());
    testing::HangGuard guard;
    HForm& f = start();
    EXPECT_TRUE(f.shown());
    EXPECT_EQ(box("txtCopy1"), "");
    EXPECT_EQ(box("txtCopy2"), "");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(ui.ended());
  }
}

TEST_F(SetupToolTest, ShortFileLeavesBothBoxesEmpty) {
  const char* files[] = {"\"/src\"\r\n\"/dst\"\r\n", "\"/src\"\r\n", ""};
  for (const char* bytes : files) {
    SCOPED_TRACE(bytes);
    writeSettingsBytes(bytes);
    start();
    EXPECT_EQ(box("txtCopy1"), "");
    EXPECT_EQ(box("txtCopy2"), "");
    EXPECT_TRUE(ui.boxes.empty());
  }
}

TEST_F(SetupToolTest, OkAfterTwoRecordFileSavesCompleteFile) {
  writeSettingsBytes("\"/src\"\r\n\"/dst\"\r\n");
  HForm& f = start();
  f.type("txtCopy1", "/data/photos.2024");
  f.type("txtCopy2", "/backup/");
  ui.answer(mb::kAnswerNo);
  f.click("cmdOK");
  EXPECT_EQ(settingsBytes(), "\"/data/photos.2024\"\r\n\"/backup/\"\r\n\"photos\"\r\n");
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kSavedRunCopyTool});
  EXPECT_TRUE(ui.ended());
}

// ---- OK: checks -----------------------------------------------------------------------

TEST_F(SetupToolTest, EmptyBoxesAreRefusedBeforeWriting) {
  struct Case {
    const char* source;
    const char* destination;
    const char* message;
  };
  const Case cases[] = {
      {"", "", kSourceMissing}, {"", "/dst", kSourceMissing}, {"/src", "", kDestinationMissing}};
  HForm& f = start();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " | " + c.destination);
    ui.boxes.clear();
    baseNameCalls.clear();
    f.type("txtCopy1", c.source);
    f.type("txtCopy2", c.destination);
    ui.answer(mb::kAnswerOk);
    f.click("cmdOK");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(ui.boxes[0].style, mb::kOk);
    EXPECT_EQ(ui.boxes[0].title, "QMS(QuillmarSetter)");
    // The base name is taken before the checks, even of an empty source.
    EXPECT_EQ(baseNameCalls, std::vector<std::string>{c.source});
    EXPECT_FALSE(settingsFileExists());
    EXPECT_FALSE(ui.ended());
  }
}

// ---- OK: save and run -----------------------------------------------------------------

TEST_F(SetupToolTest, SingleSpaceIsSavedAsSpace) {
  HForm& f = start();
  f.type("txtCopy1", " ");
  f.type("txtCopy2", " ");
  ui.answer(mb::kAnswerNo);
  f.click("cmdOK");
  EXPECT_EQ(settingsBytes(), "\" \"\r\n\" \"\r\n\" \"\r\n");
}

struct AnswerCase {
  const char* name;
  int answer;
  int startError;  // -1: the copy tool is missing
  std::vector<std::string> boxes;
  bool started;
  bool ended;
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
  *os << c.name;
}

class SaveAnswerTest : public SetupToolTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SaveAnswerTest, AnswerDecidesStartAndEnd) {
  const AnswerCase& c = GetParam();
  ui.programs.clear();
  if (c.startError >= 0) ui.programs[kCopyTool] = c.startError;
  HForm& f = start();
  f.type("txtCopy1", "/src");
  f.type("txtCopy2", "/dst");
  ui.answer(c.answer);
  for (std::size_t i = 1; i < c.boxes.size(); ++i) ui.answer(mb::kAnswerOk);
  bool writtenBeforeQuestion = false;
  ui.onBox = [&](const headless::BoxRecord& b) {
    if (b.text == kSavedRunCopyTool) writtenBeforeQuestion = settingsFileExists();
  };
  f.click("cmdOK");
  ASSERT_EQ(boxTexts(), c.boxes);
  EXPECT_TRUE(writtenBeforeQuestion);
  EXPECT_EQ(ui.boxes[0].style, mb::kYesNo | mb::kIconQuestion);
  EXPECT_EQ(ui.boxes[0].title, "QMS(Quillmar)");
  // The settings stay saved whatever becomes of the start.
  EXPECT_EQ(settingsBytes(), "\"/src\"\r\n\"/dst\"\r\n\"src\"\r\n");
  ASSERT_EQ(ui.started.size(), c.started ? 1u : 0u);
  if (c.started) {
    EXPECT_EQ(ui.started[0].fileName, kCopyTool);
    EXPECT_EQ(ui.started[0].windowStyle, kNormalFocus);
  }
  EXPECT_EQ(ui.ended(), c.ended);
  EXPECT_EQ(f.isOpen(), !c.ended);
  EXPECT_EQ(ui.clipboard, c.ended ? "" : kAuthorAddress);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SaveAnswerTest,
    ::testing::Values(AnswerCase{"No", mb::kAnswerNo, 0, {kSavedRunCopyTool}, false, true},
                      AnswerCase{"Yes", mb::kAnswerYes, 0, {kSavedRunCopyTool}, true, true},
                      AnswerCase{"YesCopyToolMissing",
                                 mb::kAnswerYes,
                                 -1,
                                 {kSavedRunCopyTool, kCopyToolMissing},
                                 false,
                                 true},
                      AnswerCase{"YesStartRefused",
                                 mb::kAnswerYes,
                                 err::kPermissionDenied,
                                 {kSavedRunCopyTool, kErrorOccurred, kAddressCopied},
                                 false,
                                 false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SetupToolTest, UnwritableFolderReportsAndStaysOpen) {
  std::ofstream(dir_ + "/plain-file") << "x";
  const std::string below = dir_ + "/plain-file/config";
  setenv("XDG_CONFIG_HOME", below.c_str(), 1);
  HForm& f = start();
  f.type("txtCopy1", "/src");
  f.type("txtCopy2", "/dst");
  std::vector<std::string> clipboardAtBox;
  ui.onBox = [&](const headless::BoxRecord&) { clipboardAtBox.push_back(ui.clipboard); };
  ui.answer(mb::kAnswerOk);
  ui.answer(mb::kAnswerOk);
  f.click("cmdOK");
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kErrorOccurred, kAddressCopied}));
  // The address is copied only after the box saying so has been closed.
  EXPECT_EQ(clipboardAtBox, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(ui.clipboard, kAuthorAddress);
  EXPECT_FALSE(ui.ended());
  EXPECT_TRUE(f.isOpen());
  EXPECT_EQ(box("txtCopy1"), "/src");
  EXPECT_EQ(box("txtCopy2"), "/dst");
}

// Guards against the error boxes of a failed save where the folder takes no new file but Copy.Copy
// itself is writable, and against a save that turns a linked Copy.Copy into a plain file.
TEST_F(SetupToolTest, SavingKeepsWhatTheUserSetOnTheFile) {
  std::filesystem::create_directory(dir_ + "/real");
  writeSettingsBytes("\"/old\"\r\n\"/older\"\r\n\"old\"\r\n");
  std::filesystem::rename(settingsFile(), dir_ + "/real/Copy.Copy");
  std::filesystem::create_symlink("real/Copy.Copy", settingsFile());
  testing::FolderLock lock(dir_ + "/real");
  if (!lock.locked()) GTEST_SKIP() << "this file system cannot lock a folder";
  HForm& f = start();
  f.type("txtCopy1", "/src");
  f.type("txtCopy2", "/dst");
  ui.answer(mb::kAnswerNo);
  f.click("cmdOK");
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kSavedRunCopyTool});
  EXPECT_TRUE(std::filesystem::is_symlink(settingsFile()));
  EXPECT_EQ(settingsBytes(), "\"/src\"\r\n\"/dst\"\r\n\"src\"\r\n");
}

// Screen readers call every text box and list of the four windows by the label beside it,
// or by what the list holds; the hidden box that receives the Windows directory has none.
TEST(AccessibleNames, EveryBoxAndListOfTheFourWindowsIsNamed) {
  const struct {
    const FormLayout& layout;
    std::vector<std::pair<const char*, const char*>> names;
  } windows[] = {
      {frmCopyLayout(), {{"txtCopy1", "コピー元"}, {"txtCopy2", "コピー先"}, {"txtWinDir", ""}}},
      {frmMainLayout(), {{"txtWinDir", ""}}},
      {frmCopy1Layout(),
       {{"txtFileName", "ファイル名"}, {"Drive1", "ドライブ"}, {"Dir1", "フォルダー"}}},
      {frmCopy2Layout(),
       {{"txtFileName", "ファイル名"}, {"Drive1", "ドライブ"}, {"Dir1", "フォルダー"}}},
  };
  for (const auto& w : windows)
    for (const auto& [control, name] : w.names)
      EXPECT_EQ(accessibleNameOf(w.layout, *findControl(w.layout, control)), name)
          << w.layout.name << "." << control;
}

}  // namespace
}  // namespace qm::test
