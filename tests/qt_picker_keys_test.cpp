// Enter in the pickers on the Qt backend: the folder list opens, elsewhere the default button.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "frmPicker.h"
#include "qt_test_util.h"

namespace qm::qt {
namespace {

namespace fs = std::filesystem;
using test::makeBackend;
using test::qtForm;
using test::showAndWait;

// As in the platform's own file dialogs, Enter in the folder list opens the selected
// folder and presses no button; in every other control it presses the focused button,
// else the picker's default button cmdOpen.
TEST(QtPickerKeys, EnterOpensTheSelectedFolderInDir1AndPressesCmdOpenElsewhere) {
  const fs::path base =
      fs::temp_directory_path() / ("qm_picker_keys_" + std::to_string(::getpid()));
  fs::create_directories(base / "a");
  fs::create_directories(base / "b");
  struct Case {
    const char* focus;
    const char* pressed;  // nullptr: no button
    std::string path;     // Dir1's path afterwards
  };
  const Case cases[] = {
      {"Dir1", nullptr, (base / "b").string()}, {"txtFileName", "cmdOpen", base.string()},
      {"Drive1", "cmdOpen", base.string()},     {"cmdOpen", "cmdOpen", base.string()},
      {"cmdExit", "cmdExit", base.string()},
  };
  auto ui = makeBackend();
  for (const FormLayout* layout : {&frmCopy1Layout(), &frmCopy2Layout()}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(layout->name) + " focus on " + c.focus);
      auto form = ui->createForm(*layout);
      std::vector<std::string> pressed;
      for (const char* name : {"cmdOpen", "cmdExit"})
        form->button(name).Click = [&pressed, name] { pressed.emplace_back(name); };
      form->dirList("Dir1").setPath(base.string());
      showAndWait(*form);
      auto* tree = static_cast<QTreeWidget*>(qtForm(*form).widget("Dir1"));
      const QList<QTreeWidgetItem*> b = tree->findItems("b", Qt::MatchExactly | Qt::MatchRecursive);
      ASSERT_EQ(b.size(), 1);
      tree->setCurrentItem(b.front());
      form->setFocus(c.focus);
      ASSERT_EQ(QApplication::focusWidget(), qtForm(*form).widget(c.focus));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      EXPECT_TRUE(QTest::qWaitFor([&] { return form->dirList("Dir1").path() == c.path; }, 1000))
          << form->dirList("Dir1").path();
      QTest::qWait(20);
      EXPECT_EQ(pressed,
                c.pressed ? std::vector<std::string>{c.pressed} : std::vector<std::string>{});
      form->close();
    }
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace qm::qt
