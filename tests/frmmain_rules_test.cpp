// The copy tool's pure rules: the effective destination and the layout's invariants.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "destination.h"
#include "frmMain.h"

namespace qm {
namespace {

TEST(EffectiveDestination, ComposesWithThePlatformSeparator) {
  struct Case {
    const char* destination;
    const char* baseName;
    char separator;
    const char* expected;
  };
  const Case cases[] = {
      {"D:\\", "Data", '\\', "D:\\Data"},
      {"D:\\Backup", "Data", '\\', "D:\\Backup\\Data"},
      {"D:/Backup/", "Data", '\\', "D:/Backup/\\Data"},
      {"D:\\", "", '\\', "D:\\"},
      {"D:\\Backup", "", '\\', "D:\\Backup\\"},
      {"", "Data", '\\', "\\Data"},
      {"/mnt/backup", "Data", '/', "/mnt/backup/Data"},
      {"/mnt/backup/", "Data", '/', "/mnt/backup/Data"},
      {"/mnt/backup\\", "Data", '/', "/mnt/backup\\/Data"},
      {"", "", '/', "/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(effectiveDestination(c.destination, c.baseName, c.separator), c.expected)
        << c.destination << " + " << c.baseName;
}

// ---- start-up and refresh -------------------------------------------------------------

// The lookup box must stay hidden: wholly beneath a button that is stacked above it.
TEST(FrmMainLayout, TxtWinDirLiesWhollyBeneathCommand2) {
  const FormLayout& layout = frmMainLayout();
  const ControlRow* box = findControl(layout, "txtWinDir");
  const ControlRow* button = findControl(layout, "Command2");
  ASSERT_TRUE(box && button);
  EXPECT_LT(button, box) << "the button must be stacked above the box";
  EXPECT_GE(box->left, button->left);
  EXPECT_GE(box->top, button->top);
  EXPECT_LE(box->left + box->width, button->left + button->width);
  EXPECT_LE(box->top + box->height, button->top + button->height);
}

TEST(FrmMainLayout, TabOrderOfFocusableControls) {
  std::vector<const ControlRow*> focusable;
  for (const ControlRow& row : frmMainLayout().controls)
    if (row.type != ControlType::Label) focusable.push_back(&row);
  std::sort(focusable.begin(), focusable.end(),
            [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
  std::vector<std::string_view> names;
  for (auto* row : focusable) names.push_back(row->name);
  EXPECT_EQ(names,
            (std::vector<std::string_view>{"cmdCopy", "Command2", "cmdHenkou", "txtWinDir"}));
}

// At 125 %, 150 % and 200 % scaling every control keeps its place and size in proportion,
// to the pixel, and every font its height, so that the windows are laid out, not stretched.
TEST(FrmMainLayout, LaidOutAtAnyDpiInProportion) {
  const struct {
    int dpi;
    int clientWidth, lblCopy1Left, cmdCopyTop, cmdCopyHeight;
    int font1125, bold1575;
  } cases[] = {{96, 616, 104, 136, 41, -15, -21},
               {120, 770, 130, 170, 51, -19, -26},
               {144, 924, 156, 204, 62, -23, -32},
               {192, 1232, 208, 272, 82, -30, -42}};
  const FormLayout& layout = frmMainLayout();
  const ControlRow& label = *findControl(layout, "lblCopy1");
  const ControlRow& button = *findControl(layout, "cmdCopy");
  for (const auto& c : cases) {
    EXPECT_EQ(twipsToPixels(layout.clientWidth, c.dpi), c.clientWidth) << c.dpi;
    EXPECT_EQ(twipsToPixels(label.left, c.dpi), c.lblCopy1Left) << c.dpi;
    EXPECT_EQ(twipsToPixels(button.top, c.dpi), c.cmdCopyTop) << c.dpi;
    EXPECT_EQ(twipsToPixels(button.height, c.dpi), c.cmdCopyHeight) << c.dpi;
    EXPECT_EQ(fontPixelHeight(label.font.points, c.dpi), c.font1125) << c.dpi;
    EXPECT_EQ(fontPixelHeight(button.font.points, c.dpi), c.bold1575) << c.dpi;
    // Every control within a pixel of its place at 96 dpi, scaled.
    for (const ControlRow& row : layout.controls) {
      const double scale = c.dpi / 96.0;
      EXPECT_NEAR(twipsToPixels(row.left, c.dpi), twipsToPixels(row.left) * scale, 1.0)
          << row.name << " at " << c.dpi;
      EXPECT_NEAR(twipsToPixels(row.width, c.dpi), twipsToPixels(row.width) * scale, 1.0)
          << row.name << " at " << c.dpi;
    }
  }
}

}  // namespace
}  // namespace qm
