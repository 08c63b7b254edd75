// Forms from layout tables on the Qt backend: geometry, stacking, focus, keys, mouse.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "frmCopy.h"
#include "frmMain.h"
#include "qt_test_util.h"
#include "ui/qt/qt_style.h"

namespace qm::qt {
namespace {

using test::makeBackend;
using test::qtForm;
using test::showAndWait;

// clang-format off
// A window with a default button, a plain button, text boxes and a label access key.
const FormLayout& keysLayout() {
  static const FormLayout layout{
    "frmKeys", "キー", 6000, 3000, StartUpPosition::CenterScreen, WindowIcon::SetupTool,
    {
      {ControlType::CommandButton, "cmdOK",   "&OK",             1320, 1440, 1575, 495, 4, kDefaultFont, {}, kDefault},
      {ControlType::CommandButton, "cmdOther","他(&T)",          3360, 1440, 1575, 495, 5},
      {ControlType::TextBox,       "txtA",    "",                1800, 240,  2000, 270, 1, kDefaultFont, {}, kImeHiragana},
      {ControlType::TextBox,       "txtB",    "",                1800, 840,  2000, 270, 2},
      {ControlType::Label,         "Label1",  "ファイル名(&N)",  360,  240,  1215, 375, 0},
    }};
  return layout;
}
// clang-format on

struct Counter {
  int n = 0;
  Event fn() {
    return [this] { ++n; };
  }
};

// Pixel rectangles of frmMain's rows at 96 dpi (15 twips a pixel).
TEST(QtForm, EveryControlOfFrmMainHasItsTableGeometryAt96Dpi) {
  ASSERT_DOUBLE_EQ(screenDpi(), 96.0);
  struct Row {
    const char* name;
    QRect rect;
  };
  const Row rows[] = {
      {"Command2", {232, 136, 153, 41}},  {"txtWinDir", {272, 144, 81, 18}},
      {"cmdHenkou", {424, 136, 153, 41}}, {"cmdCopy", {32, 136, 153, 41}},
      {"Label3", {120, 80, 9, 29}},       {"lblCopy1", {104, 8, 9, 19}},
      {"lblCopy2", {104, 48, 9, 19}},     {"Label2", {16, 48, 73, 17}},
      {"Label1", {16, 8, 73, 17}},
  };
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  QtForm& f = qtForm(*form);
  EXPECT_EQ(f.window()->size(), QSize(616, 191));
  EXPECT_EQ(f.window()->minimumSize(), f.window()->maximumSize());  // fixed size
  EXPECT_EQ(f.window()->windowTitle(), QStringLiteral("QM(Quillmar)"));
  EXPECT_FALSE(f.window()->windowIcon().isNull());
  for (const Row& r : rows) {
    ASSERT_NE(f.widget(r.name), nullptr) << r.name;
    EXPECT_EQ(f.widget(r.name)->geometry(), r.rect) << r.name;
  }
}

TEST(QtForm, RowsEarlierInTheTableLieAbove) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  QtForm& f = qtForm(*form);
  const QObjectList children = f.window()->children();  // bottom first
  const auto& rows = frmMainLayout().controls;
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    const auto above = children.indexOf(f.widget(rows[i].name));
    const auto below = children.indexOf(f.widget(rows[i + 1].name));
    EXPECT_GT(above, below) << rows[i].name << " over " << rows[i + 1].name;
  }
  // txtWinDir lies wholly beneath Command2.
  EXPECT_EQ(f.window()->childAt(f.widget("txtWinDir")->geometry().center()), f.widget("Command2"));
}

TEST(QtForm, FontsFollowTheRowsAndAskForTheJapaneseFace) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  QtForm& f = qtForm(*form);
  const QFont button = f.widget("cmdCopy")->font();
  EXPECT_DOUBLE_EQ(button.pointSizeF(), 15.75);
  EXPECT_TRUE(button.bold());
  EXPECT_EQ(button.families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
  EXPECT_TRUE(button.families().contains(QStringLiteral("IPAPGothic")));
  EXPECT_DOUBLE_EQ(f.widget("lblCopy1")->font().pointSizeF(), 11.25);
  EXPECT_FALSE(f.widget("lblCopy1")->font().bold());
  EXPECT_DOUBLE_EQ(f.widget("txtWinDir")->font().pointSizeF(), 9.0);  // window default
  EXPECT_EQ(f.widget("cmdCopy")->toolTip(),
            QStringLiteral("クリックすると､上記の場所にコピーをします。"));
}

TEST(QtForm, AutoSizedLabelGrowsFromItsCornerAndBorderedOnesHaveAFrame) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  QtForm& f = qtForm(*form);
  auto* label = static_cast<QLabel*>(f.widget("lblCopy1"));
  form->label("lblCopy1").setCaption("/home/user/とても長いフォルダの名前");
  EXPECT_EQ(label->pos(), QPoint(104, 8));
  EXPECT_GT(label->width(), 150);
  EXPECT_EQ(label->size(), label->sizeHint());
  EXPECT_NE(label->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(static_cast<QLabel*>(f.widget("Label1"))->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(form->label("lblCopy1").caption(), "/home/user/とても長いフォルダの名前");
}

TEST(QtForm, FocusStartsOnTheFirstControlInTabOrderAndTabFollowsTheTable) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  QtForm& f = qtForm(*form);
  showAndWait(*form);
  ASSERT_EQ(QApplication::focusWidget(), f.widget("cmdCopy"));
  std::vector<std::string> seen;
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen.push_back(QApplication::focusWidget()->objectName().toStdString());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Command2", "cmdHenkou", "txtWinDir", "cmdCopy"}));
}

TEST(QtForm, ShowFocusesTheFirstTextBoxRaisingGotFocusOnce) {
  auto ui = makeBackend();
  auto form = ui->createForm(keysLayout());
  Counter gotA;
  form->textBox("txtA").GotFocus = gotA.fn();
  showAndWait(*form);
  QApplication::processEvents();
  EXPECT_EQ(gotA.n, 1);
  EXPECT_EQ(QApplication::focusWidget(), qtForm(*form).widget("txtA"));
  form->show();  // a shown window only comes to the front
  QApplication::processEvents();
  EXPECT_EQ(gotA.n, 1);
}

TEST(QtForm, UserFocusChangesRaiseGotFocusThroughTheDispatcher) {
  auto ui = makeBackend();
  auto form = ui->createForm(keysLayout());
  Counter gotB;
  form->textBox("txtB").GotFocus = gotB.fn();
  showAndWait(*form);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(gotB.n, 1);
  form->setFocus("txtB");  // already there: no second event
  EXPECT_EQ(gotB.n, 1);
}

// Regression: Enter on a focused command button pressed the default button (or nothing).
TEST(QtForm, EnterPressesTheFocusedButtonElseTheDefaultButton) {
  struct Case {
    const FormLayout* layout;
    const char* focus;
    const char* pressed;  // nullptr: no button is pressed
  };
  const Case cases[] = {
      // frmMain has no default button.
      {&frmMainLayout(), "cmdCopy", "cmdCopy"},
      {&frmMainLayout(), "cmdHenkou", "cmdHenkou"},
      {&frmMainLayout(), "Command2", "Command2"},
      {&frmMainLayout(), "txtWinDir", nullptr},
      // frmCopy's default button is cmdOK.
      {&frmCopyLayout(), "txtCopy1", "cmdOK"},
      {&frmCopyLayout(), "txtCopy2", "cmdOK"},
      {&frmCopyLayout(), "txtWinDir", "cmdOK"},
      {&frmCopyLayout(), "cmdOK", "cmdOK"},
      {&frmCopyLayout(), "cmdCan", "cmdCan"},
      {&frmCopyLayout(), "cmdSan1", "cmdSan1"},
      {&frmCopyLayout(), "cmdSun2", "cmdSun2"},
      {&keysLayout(), "txtB", "cmdOK"},
      {&keysLayout(), "cmdOther", "cmdOther"},
  };
  auto ui = makeBackend();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.layout->name) + " focus on " + c.focus);
    auto form = ui->createForm(*c.layout);
    std::vector<std::string> pressed;
    for (const ControlRow& row : c.layout->controls)
      if (row.type == ControlType::CommandButton)
        form->button(row.name).Click = [&pressed, name = std::string(row.name)] {
          pressed.push_back(name);
        };
    showAndWait(*form);
    form->setFocus(c.focus);
    ASSERT_EQ(QApplication::focusWidget(), qtForm(*form).widget(c.focus));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::qWait(20);
    EXPECT_EQ(pressed,
              c.pressed ? std::vector<std::string>{c.pressed} : std::vector<std::string>{});
    // The keypad's Enter acts the same.
    pressed.clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    QTest::qWait(20);
    EXPECT_EQ(pressed,
              c.pressed ? std::vector<std::string>{c.pressed} : std::vector<std::string>{});
    form->close();
  }
}

TEST(QtForm, FocusingAPlainButtonDoesNotMakeItTheDefault) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmCopyLayout());
  showAndWait(*form);
  form->setFocus("cmdCan");
  auto* can = static_cast<QPushButton*>(qtForm(*form).widget("cmdCan"));
  auto* ok = static_cast<QPushButton*>(qtForm(*form).widget("cmdOK"));
  EXPECT_FALSE(can->isDefault());
  EXPECT_FALSE(can->autoDefault());
  EXPECT_TRUE(ok->isDefault());
}

TEST(QtForm, AltAccessKeysPressButtonsAndLabelsMoveTheFocus) {
  auto ui = makeBackend();
  auto main = ui->createForm(frmMainLayout());
  Counter quit, change;
  main->button("Command2").Click = quit.fn();
  main->button("cmdHenkou").Click = change.fn();
  showAndWait(*main);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return quit.n == 1; }, 2000)) << quit.n;
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return change.n == 1; }, 2000)) << change.n;
  main->close();

  auto keys = ui->createForm(keysLayout());
  Counter gotA;
  keys->textBox("txtA").GotFocus = gotA.fn();
  showAndWait(*keys);
  keys->setFocus("txtB");
  gotA.n = 0;
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), qtForm(*keys).widget("txtA"));
  EXPECT_EQ(gotA.n, 1);
}

TEST(QtForm, MouseMovesReachTheWindowOnlyOverItsOwnSurface) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  QtForm& f = qtForm(*form);
  int moves = 0, lastShift = -1;
  float lastX = 0, lastY = 0;
  form->MouseMove = [&](int, int shift, float x, float y) {
    ++moves;
    lastShift = shift;
    lastX = x;
    lastY = y;
  };
  showAndWait(*form);
  // The moves are made with no key held: a modifier that an earlier test's access key
  // left in the application's keyboard state is released first.
  QTest::keyRelease(f.window(), Qt::Key_Alt);
  ASSERT_EQ(QGuiApplication::keyboardModifiers(), Qt::NoModifier);
  struct Case {
    const char* over;
    QPoint at;
    int events;
  };
  const Case cases[] = {
      {"cmdCopy", {100, 150}, 0},
      {"Command2", {300, 150}, 0},
      {"txtWinDir (under Command2)", {280, 150}, 0},
      {"Label1", {20, 12}, 0},
      {"lblCopy1", {106, 12}, 0},
      {"surface", {5, 100}, 1},
      {"surface below the buttons", {300, 185}, 1},
  };
  for (const Case& c : cases) {
    moves = 0;
    QTest::mouseMove(f.window(), c.at);
    QApplication::processEvents();
    EXPECT_EQ(moves, c.events) << c.over;
  }
  QTest::mouseMove(f.window(), QPoint(6, 100));
  EXPECT_FLOAT_EQ(lastX, 90.0f);  // twips
  EXPECT_FLOAT_EQ(lastY, 1500.0f);
  EXPECT_EQ(lastShift, 0);
}

TEST(QtForm, TextBoxWithHiraganaWishIsMarkedAndOthersAreNot) {
  auto ui = makeBackend();
  auto form = ui->createForm(keysLayout());
  EXPECT_EQ(qtForm(*form).widget("txtA")->property(kImeModeProperty).toString(),
            QStringLiteral("hiragana"));
  EXPECT_FALSE(qtForm(*form).widget("txtB")->property(kImeModeProperty).isValid());
}

TEST(QtForm, CenterScreenWindowsAreCentred) {
  auto ui = makeBackend();
  auto form = ui->createForm(keysLayout());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect w(qtForm(*form).window()->pos(), qtForm(*form).window()->size());
  EXPECT_LE(std::abs(w.center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(w.center().y() - screen.center().y()), 1);
}

}  // namespace
}  // namespace qm::qt
