// The copy tool's windows and boxes under a window manager (openbox in Xvfb), as xprop sees them.
#include <gtest/gtest.h>

#include "xvfb_wm.h"

namespace qm::e2e {
namespace {

// Motif hints: flags, functions, decorations. Function 16 and decoration 64 are maximise,
// function 8 and decoration 32 minimise.
std::vector<unsigned long> motifHints(const std::string& text) {
  std::vector<unsigned long> values;
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return values;
  std::string rest = text.substr(eq + 1);
  std::replace(rest.begin(), rest.end(), ',', ' ');
  for (const std::string& w : words(rest)) values.push_back(std::stoul(w, nullptr, 0));
  return values;
}

bool has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

class CopyToolUnderWm : public WmTest {
 protected:
  void storeJob() {
    fs::create_directories(base_ / "src" / "元");
    fs::create_directories(base_ / "dst");
    std::ofstream(base_ / "cfg" / "Copy.Copy", std::ios::binary)
        << "\"" << (base_ / "src" / "a").string() << "\"\r\n\"" << (base_ / "dst").string()
        << "\"\r\n\"a\"\r\n";
  }
};

// Regression: a fixed window offered maximise; minimising the modal confirmation hid the
// whole program (openbox iconifies a dialog's window with it) and nothing brought it back.
TEST_F(CopyToolUnderWm, FixedWindowAsksForNoMaximiseAndItsBoxIsADialogThatStaysUp) {
  storeJob();
  launch(QM_COPYTOOL_PATH);
  const std::string main = waitWindow("^QM\\(Quillmar\\)$");
  ASSERT_FALSE(main.empty());
  const std::vector<unsigned long> hints = motifHints(prop(main, "_MOTIF_WM_HINTS"));
  ASSERT_EQ(hints.size(), 5u) << prop(main, "_MOTIF_WM_HINTS");
  EXPECT_EQ(hints[1] & 16, 0u) << "maximise function";
  EXPECT_EQ(hints[2] & 64, 0u) << "maximise button";
  EXPECT_NE(hints[2] & 32, 0u) << "minimise button";
  EXPECT_FALSE(has(prop(main, "_NET_WM_ALLOWED_ACTIONS"), "MAXIMIZE"));
  const std::string icon = prop(main, "_NET_WM_ICON");

  keys(main, "alt+c");
  const std::string box = waitWindow("^コピー$");
  ASSERT_FALSE(box.empty());
  EXPECT_TRUE(has(prop(box, "_NET_WM_WINDOW_TYPE"), "_NET_WM_WINDOW_TYPE_DIALOG"));
  EXPECT_TRUE(has(prop(box, "WM_TRANSIENT_FOR"), "window id # 0x"));
  EXPECT_EQ(std::stoul(words(prop(box, "WM_TRANSIENT_FOR")).back(), nullptr, 16), std::stoul(main));
  EXPECT_TRUE(has(prop(box, "_NET_WM_STATE"), "_NET_WM_STATE_MODAL"));
  EXPECT_FALSE(has(prop(box, "_NET_WM_ALLOWED_ACTIONS"), "MAXIMIZE"));
  const std::vector<unsigned long> boxHints = motifHints(prop(box, "_MOTIF_WM_HINTS"));
  ASSERT_EQ(boxHints.size(), 5u);
  EXPECT_EQ(boxHints[1] & (8 | 16), 0u) << "minimise or maximise function";
  EXPECT_EQ(boxHints[2] & (32 | 64), 0u) << "minimise or maximise button";
  const std::string boxIcon = prop(box, "_NET_WM_ICON");
  EXPECT_TRUE(boxIcon.substr(boxIcon.find('=')) == icon.substr(icon.find('='))) << "icon differs";

  // openbox still offers to minimise a dialog; the box, and its window with it, come back.
  xdo("windowminimize " + box);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(wmState(box), "Normal");
  EXPECT_EQ(wmState(main), "Normal");

  keys(box, "alt+n");  // No: the run ends, the window stays
  EXPECT_FALSE(
      waitFor([&] { return windows("^コピー$").empty() ? "gone" : std::string(); }).empty());
  EXPECT_EQ(wmState(main), "Normal");
  keys(main, "alt+e");
  EXPECT_TRUE(endsWithin());
}

// Regression: the box shown before any window carried a generic icon, not the program's.
TEST_F(CopyToolUnderWm, MissingSettingsBoxIsADialogWithTheProgramsIcon) {
  storeJob();
  launch(QM_COPYTOOL_PATH);
  const std::string main = waitWindow("^QM\\(Quillmar\\)$");
  ASSERT_FALSE(main.empty());
  const std::string icon = prop(main, "_NET_WM_ICON");
  keys(main, "alt+e");
  ASSERT_TRUE(endsWithin());

  fs::remove(base_ / "cfg" / "Copy.Copy");
  launch(QM_COPYTOOL_PATH);
  const std::string box = waitWindow("^QM\\(Quillmar\\)$");
  ASSERT_FALSE(box.empty());
  EXPECT_TRUE(has(prop(box, "_NET_WM_WINDOW_TYPE"), "_NET_WM_WINDOW_TYPE_DIALOG"));
  EXPECT_FALSE(has(prop(box, "_NET_WM_ALLOWED_ACTIONS"), "MAXIMIZE"));
  const std::string boxIcon = prop(box, "_NET_WM_ICON");
  ASSERT_TRUE(has(icon, "Icon (")) << icon.substr(0, 100);
  EXPECT_TRUE(boxIcon.substr(boxIcon.find('=')) == icon.substr(icon.find('='))) << "icon differs";
  keys(box, "Return");
  EXPECT_TRUE(endsWithin());
}

}  // namespace
}  // namespace qm::e2e
