// The copy tool end to end in a real X server (Xvfb), driven by xdotool.
#include "os/codepage.h"
#include "qt_xvfb.h"

namespace qm::e2e {
namespace {

constexpr bool kHaveCopyEngine = QM_E2E_HAVE_FS;

class CopyToolInX : public XTest {
 protected:
  void SetUp() override {
    XTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::create_directories(base_ / "src/データ/sub");
    fs::create_directories(base_ / "dst");
    std::ofstream(base_ / "src/データ/sub/memo.txt") << "中身\n";
  }

  // The settings file as the setup tool writes it: three quoted records, CR LF, CP 932.
  void writeSettings(const std::string& source, const std::string& dest, const std::string& base) {
    std::ofstream out(base_ / "cfg/Copy.Copy", std::ios::binary);
    for (const std::string& v : {source, dest, base})
      out << qm::toAnsi("\"" + v + "\"", "test") << "\r\n";
  }

  // The copy tool's main window, found by its title.
  std::string mainWindow() { return windowNamed("^QM\\(Quillmar\\)$"); }
};

TEST_F(CopyToolInX, CopiesTheStoredJobAfterConfirmationAndEnds) {
  if (!kHaveCopyEngine) GTEST_SKIP() << "this build has no copy engine (qm_copy)";
  writeSettings((base_ / "src/データ").string(), (base_ / "dst").string(), "データ");
  launch(QM_COPYTOOL_PATH);
  const std::string main = mainWindow();
  ASSERT_FALSE(main.empty()) << "the copy tool's window did not appear";
  screenshot(QM_E2E_SHOT);

  ASSERT_TRUE(copyWithKeyboard(main));

  ASSERT_TRUE(endsWithin()) << "the copy tool did not end cleanly";
  EXPECT_EQ(readBytes(base_ / "dst/データ/sub/memo.txt"), "中身\n");
}

TEST_F(CopyToolInX, WithoutSettingsFileOnlyTheMessageAppearsAndOkEnds) {
  launch(QM_COPYTOOL_PATH);
  const std::string box = waitFor([&] { return otherWindow({}); });
  ASSERT_FALSE(box.empty()) << "no message";
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(words(xdo("search --onlyvisible --pid " + std::to_string(app_))).size(), 1u);
  pressIn(box, "Return");
  EXPECT_TRUE(endsWithin());
}

TEST_F(CopyToolInX, QuitButtonsAccessKeyEndsTheProgram) {
  writeSettings((base_ / "src/データ").string(), (base_ / "dst").string(), "データ");
  launch(QM_COPYTOOL_PATH);
  const std::string main = mainWindow();
  ASSERT_FALSE(main.empty());
  pressIn(main, "alt+e");
  EXPECT_TRUE(endsWithin());
  EXPECT_FALSE(fs::exists(base_ / "dst/データ"));
}

}  // namespace
}  // namespace qm::e2e
