// The settings window: refused values, Cancel, focus, the default button, object failure.
#include "contact.h"
#include "os/codepage.h"
#include "setuptool_fixture.h"

namespace qm::test {
namespace {

using headless::HForm;

// Fault: a value the settings file cannot hold was written garbled or split a record.
TEST_F(SetupToolTest, UnstorableValueIsReportedAndNothingIsWritten) {
  const std::string previous = toAnsi("\"/old\"\r\n\"/older\"\r\n\"old\"\r\n", "test");
  // Folders in any script are stored; a double quote or a line break in any of them is not.
  const char* values[] = {"/a\"b", "/a\r\nb", "/写真/😀\n", "/사진/\"한"};
  for (const char* value : values) {
    for (const char* box : {"txtCopy1", "txtCopy2"}) {
      SCOPED_TRACE(std::string(box) + " = " + value);
      writeSettingsBytes(previous);
      HForm& f = start();
      f.type("txtCopy1", "/src");
      f.type("txtCopy2", "/dst");
      f.type(box, value);
      const std::string source = this->box("txtCopy1");
      const std::string destination = this->box("txtCopy2");
      ui.boxes.clear();
      ui.clipboard.clear();
      ui.answer(mb::kAnswerOk);
      ui.answer(mb::kAnswerOk);
      f.click("cmdOK");
      EXPECT_EQ(boxTexts(), (std::vector<std::string>{kErrorOccurred, kAddressCopied}));
      EXPECT_EQ(ui.clipboard, kAuthorAddress);
      EXPECT_EQ(settingsBytes(), previous);
      EXPECT_TRUE(f.isOpen());
      EXPECT_FALSE(ui.ended());
      EXPECT_EQ(this->box("txtCopy1"), source);
      EXPECT_EQ(this->box("txtCopy2"), destination);
    }
  }
}

// ---- Cancel ---------------------------------------------------------------------------

TEST_F(SetupToolTest, CancelEndsAtOnceWhenSettingsExist) {
  writeSettingsBytes("\"/src\"\r\n\"/dst\"\r\n\"src\"\r\n");
  HForm& f = start();
  f.type("txtCopy1", "/edited");
  f.click("cmdCan");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(ui.ended());
  EXPECT_FALSE(f.isOpen());
  EXPECT_EQ(settingsBytes(), "\"/src\"\r\n\"/dst\"\r\n\"src\"\r\n");
}

TEST_F(SetupToolTest, CancelWithoutSettingsAsksFirst) {
  struct Case {
    int answer;
    bool ended;
  };
  for (const Case c : {Case{mb::kAnswerNo, false}, Case{mb::kAnswerYes, true}}) {
    SCOPED_TRACE(c.answer);
    HForm& f = start();
    f.type("txtCopy1", "/typed");
    ui.boxes.clear();
    ui.answer(c.answer);
    f.click("cmdCan");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, kNotSetQuit);
    EXPECT_EQ(ui.boxes[0].style, mb::kYesNo | mb::kIconQuestion);
    EXPECT_EQ(ui.boxes[0].title, "QMS(QuillmarSetter)");
    EXPECT_EQ(ui.ended(), c.ended);
    EXPECT_EQ(f.isOpen(), !c.ended);
    EXPECT_EQ(box("txtCopy1"), "/typed");
    EXPECT_FALSE(settingsFileExists());
  }
}

// ---- focus and keys -------------------------------------------------------------------

TEST_F(SetupToolTest, FocusSelectsWholeTextInCharacters) {
  const char* texts[] = {"", "/data", "/データ/写真", "C:\\ﾃﾞｰﾀ"};
  HForm& f = start();
  for (const char* text : texts) {
    for (const char* name : {"txtCopy1", "txtCopy2"}) {
      SCOPED_TRACE(std::string(name) + " " + text);
      f.focus("cmdOK");
      f.type(name, text);
      f.focus(name);
      const headless::HTextBox& b = f.text(name);
      EXPECT_EQ(b.selStart(), 0);
      EXPECT_EQ(b.selectedText(), text);
    }
  }
  EXPECT_EQ(f.text("txtCopy1").selLength(), 7);  // "C:\ﾃﾞｰﾀ" has seven characters
}

TEST_F(SetupToolTest, EnterInEitherBoxPressesOk) {
  for (const char* name : {"txtCopy1", "txtCopy2"}) {
    SCOPED_TRACE(name);
    HForm& f = start();
    f.focus(name);
    ui.boxes.clear();
    ui.answer(mb::kAnswerOk);
    f.pressEnter();
    EXPECT_EQ(boxTexts(), std::vector<std::string>{kSourceMissing});
  }
}

TEST_F(SetupToolTest, MissingFileSystemObjectEndsWithDefaultReport) {
  ui.objectFactory = nullptr;
  HForm& f = start();
  f.type("txtCopy1", "/src");
  f.type("txtCopy2", "/dst");
  ui.answer(mb::kAnswerOk);
  f.click("cmdOK");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].style, mb::kOk | mb::kIconError);
  EXPECT_NE(ui.boxes[0].text.find("429"), std::string::npos);
  EXPECT_TRUE(ui.ended());
  EXPECT_FALSE(settingsFileExists());
}

}  // namespace
}  // namespace qm::test
