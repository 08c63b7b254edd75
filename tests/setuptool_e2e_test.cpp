// A job saved by the setup tool, read back by the copy tool's window.
#include "frmMain.h"
#include "setuptool_fixture.h"

namespace qm::test {
namespace {

using headless::HForm;

TEST_F(SetupToolTest, SavedJobAppearsInCopyTool) {
  struct Case {
    const char* source;
    const char* destination;
    const char* effective;
  };
  const Case cases[] = {
      {"/home/田中/写真.2024", "/mnt/バックアップ", "/mnt/バックアップ/写真"},
      {"/home/ﾃﾞｰﾀ,控え", "/mnt/外付け/", "/mnt/外付け/ﾃﾞｰﾀ,控え"},
      // Guards against a folder named in another script being refused by the save.
      {"/home/u/Café/한국어/📷", "/mnt/Müller/사진/", "/mnt/Müller/사진/📷"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    {
      headless::HeadlessBackend setup("QMS(QuillmarSetter)");
      setup.objectFactory = [this] { return std::make_unique<BaseNameDouble>(baseNameCalls); };
      frmCopy settingsWindow(setup);
      settingsWindow.start();
      HForm& f = *setup.form("frmCopy");
      f.type("txtCopy1", c.source);
      f.type("txtCopy2", c.destination);
      setup.answer(mb::kAnswerNo);
      f.click("cmdOK");
      ASSERT_TRUE(setup.ended());
      ASSERT_TRUE(setup.unexpectedBoxes.empty());
    }
    headless::HeadlessBackend copy("QM(Quillmar)");
    frmMain mainWindow(copy);
    mainWindow.start();
    HForm* m = copy.form("frmMain");
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(copy.boxes.empty());
    EXPECT_EQ(m->label("lblCopy1").caption(), c.source);
    EXPECT_EQ(m->label("lblCopy2").caption(), c.destination);
    EXPECT_EQ(mainWindow.SourcePath, c.source);
    EXPECT_EQ(mainWindow.DestinationPath, c.effective);
  }
}

// Guards against the copy tool saying Copy.Copy is missing when the setup tool saved it
// in a configuration folder longer than the copy tool's 100-character buffer.
TEST_F(SetupToolTest, ACopyToolFindsAJobSavedInALongConfigFolder) {
  const std::string config = dir_ + "/" + std::string(100, 'c') + "/" + std::string(60, 'f');
  ASSERT_GT(config.size(), 150u);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  HForm& f = start();
  f.type("txtCopy1", "/home/u/写真");
  f.type("txtCopy2", "/mnt/usb");
  ui.answer(mb::kAnswerNo);
  f.click("cmdOK");
  ASSERT_TRUE(ui.ended());
  ASSERT_TRUE(ui.unexpectedBoxes.empty());
  EXPECT_EQ(box("txtWinDir"), config);

  headless::HeadlessBackend copy("QM(Quillmar)");
  frmMain mainWindow(copy);
  mainWindow.start();
  EXPECT_TRUE(copy.boxes.empty());
  EXPECT_FALSE(copy.ended());
  EXPECT_EQ(copy.form("frmMain")->text("txtWinDir").text(), config);
  EXPECT_EQ(mainWindow.DestinationPath, "/mnt/usb/写真");
}

}  // namespace
}  // namespace qm::test
