// The setup tool end to end in a real X server (Xvfb), driven by xdotool.
#include "os/codepage.h"
#include "qt_xvfb.h"

namespace qm::e2e {
namespace {

constexpr bool kHaveCopyEngine = QM_E2E_HAVE_FS;

// frmCopy's destination box, in client pixels (twips 1080, 840, 4935 x 375).
constexpr int kDestinationBoxX = 72 + 329 / 2;
constexpr int kDestinationBoxY = 56 + 25 / 2;

class SetupToolInX : public XTest {
 protected:
  void SetUp() override {
    XTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::create_directories(base_ / "元/写真データ/旅行");
    fs::create_directories(base_ / "dst");
    std::ofstream(base_ / "元/写真データ/旅行/メモ.txt") << "中身\n";
  }

  // The bytes of quoted records with CR LF, in code page 932.
  static std::string records(const std::vector<std::string>& values) {
    std::string out;
    for (const std::string& v : values) out += qm::toAnsi("\"" + v + "\"", "test") + "\r\n";
    return out;
  }

  std::string settingsWindow() { return windowNamed("^QMS\\(QuillmarSetter\\)$"); }
};

// xdotool types characters outside the keyboard map by remapping a key for each one,
// and under Xvfb Qt drops some of them ("写真データ" arrived as "写真ータ"). The
// Japanese source folder is therefore picked with the keyboard in frmCopy1, which
// starts in the current folder; the ASCII destination is typed.
TEST_F(SetupToolInX, PickedAndTypedJobIsSavedAndNoEndsThenTheCopyToolRunsIt) {
  if (!kHaveCopyEngine) GTEST_SKIP() << "this build has no copy engine (qm_copy) for the base name";
  const std::string source = (base_ / "元/写真データ").string();
  const std::string dest = (base_ / "dst").string();
  ASSERT_FALSE(fs::exists(base_ / "cfg/Copy.Copy"));

  launch(QM_SETUPTOOL_PATH, base_ / "元");
  const std::string setup = settingsWindow();
  ASSERT_FALSE(setup.empty()) << "the setup tool's window did not appear";

  pressIn(setup, "alt+m");
  const std::string picker = windowNamed("^コピー元指定$");
  ASSERT_FALSE(picker.empty()) << "the source picker did not appear";
  // Shift+Tab from the name box reaches the folder list (last in tab order); Down
  // selects the only subfolder and Enter opens it, which fills the name box; Alt+N
  // goes back to the name box, where Enter presses OK, the picker's default button.
  pressIn(picker, "shift+Tab");
  pressIn(picker, "Down");
  pressIn(picker, "Return");
  pressIn(picker, "alt+n");
  pressIn(picker, "Return");
  ASSERT_FALSE(waitFor([&] {
                 return otherWindow({picker}) == setup && otherWindow({setup}).empty()
                            ? std::string("closed")
                            : std::string();
               }).empty())
      << "the picker did not close";

  clickIn(setup, kDestinationBoxX, kDestinationBoxY);
  typeIn(setup, dest);
  screenshot(QM_E2E_SETUP_SHOT);
  pressIn(setup, "Return");  // cmdOK is the default button

  const std::string saved = windowNamed("^QMS\\(Quillmar\\)$");
  ASSERT_FALSE(saved.empty()) << "no box asking whether to run the copy tool";
  pressIn(saved, "alt+n");
  ASSERT_TRUE(endsWithin()) << "the setup tool did not end cleanly";
  EXPECT_EQ(readBytes(base_ / "cfg/Copy.Copy"), records({source, dest, "写真データ"}));

  launch(QM_COPYTOOL_PATH);
  const std::string main = windowNamed("^QM\\(Quillmar\\)$");
  ASSERT_FALSE(main.empty()) << "the copy tool's window did not appear";
  ASSERT_TRUE(copyWithKeyboard(main));
  ASSERT_TRUE(endsWithin()) << "the copy tool did not end cleanly";
  EXPECT_EQ(readBytes(base_ / "dst/写真データ/旅行/メモ.txt"), "中身\n");
}

// Enter on the focused cancel button presses it, not OK: with no settings file the
// question whether to quit appears, and Yes ends the program without saving.
TEST_F(SetupToolInX, EnterOnTheFocusedCancelButtonAsksToQuitAndYesEnds) {
  launch(QM_SETUPTOOL_PATH);
  const std::string setup = settingsWindow();
  ASSERT_FALSE(setup.empty()) << "the setup tool's window did not appear";
  // From the source box, five Tabs lead through the destination box, both browse
  // buttons and OK to the cancel button.
  pressIn(setup, "Tab Tab Tab Tab Tab");
  pressIn(setup, "Return");
  const std::string question = waitFor([&] { return otherWindow({setup}); });
  ASSERT_FALSE(question.empty()) << "no question whether to quit";
  EXPECT_EQ(words(xdo("getwindowname " + question)),
            std::vector<std::string>{"QMS(QuillmarSetter)"});
  pressIn(question, "alt+y");
  EXPECT_TRUE(endsWithin()) << "the setup tool did not end cleanly";
  EXPECT_FALSE(fs::exists(base_ / "cfg/Copy.Copy"));
}

}  // namespace
}  // namespace qm::e2e
