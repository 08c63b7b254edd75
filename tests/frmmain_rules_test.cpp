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

}  // namespace
}  // namespace qm
