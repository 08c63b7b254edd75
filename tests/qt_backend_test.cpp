// The Qt backend's services: message boxes, busy pointer, clipboard, program end.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTest>

#include "ui/filesystem.h"
#include "errors.h"
#include "frmCopy.h"
#include "frmMain.h"
#include "frmPicker.h"
#include "qt_test_util.h"
#include "ui/progress_view.h"
#include "ui/qt/qt_msgbox.h"

namespace qm::qt {
namespace {

using test::boxButton;
using test::makeBackend;
using test::onNextBox;
using test::qtForm;

TEST(QtMessageBox, ButtonsIconTitleAndAnswers) {
  struct Case {
    int style;
    QStringList buttons;
    QMessageBox::Icon icon;
    const char* press;
    int answer;
  };
  const Case cases[] = {
      {mb::kOk, {"OK"}, QMessageBox::NoIcon, "OK", mb::kAnswerOk},
      {mb::kYesNo | mb::kIconQuestion,
       {"はい(&Y)", "いいえ(&N)"},
       QMessageBox::Question,
       "はい(&Y)",
       mb::kAnswerYes},
      {mb::kYesNo | mb::kIconQuestion,
       {"はい(&Y)", "いいえ(&N)"},
       QMessageBox::Question,
       "いいえ(&N)",
       mb::kAnswerNo},
      {mb::kRetryCancel | mb::kIconError,
       {"再試行(&R)", "キャンセル"},
       QMessageBox::Critical,
       "再試行(&R)",
       mb::kAnswerRetry},
      {mb::kRetryCancel | mb::kIconError,
       {"再試行(&R)", "キャンセル"},
       QMessageBox::Critical,
       "キャンセル",
       mb::kAnswerCancel},
      {mb::kIconError, {"OK"}, QMessageBox::Critical, "OK", mb::kAnswerOk},
  };
  auto ui = makeBackend();
  for (const Case& c : cases) {
    QStringList seenButtons;
    QMessageBox::Icon seenIcon{};
    QString seenTitle, seenText;
    onNextBox([&](QMessageBox& box) {
      for (QAbstractButton* b : box.buttons()) seenButtons << b->text();
      seenIcon = box.icon();
      seenTitle = box.windowTitle();
      seenText = box.text();
      boxButton(box, QString::fromUtf8(c.press))->click();
    });
    const int answer = ui->messageBox("一行目\r\n二行目", c.style, "コピー");
    EXPECT_EQ(answer, c.answer) << c.style << " " << c.press;
    EXPECT_EQ(seenButtons, c.buttons) << c.style;
    EXPECT_EQ(seenIcon, c.icon) << c.style;
    EXPECT_EQ(seenTitle, QStringLiteral("コピー"));
    EXPECT_EQ(seenText, QStringLiteral("一行目\n二行目"));
  }
}

// Esc and the close button answer Cancel where there is one, OK in an OK-only box, and
// do nothing in a Yes/No box (which then still waits for its answer).
TEST(QtMessageBox, EscapeAndCloseButton) {
  struct Case {
    int style;
    bool useEscape;  // else the close button
    int answer;      // 0: the box ignores it
  };
  const Case cases[] = {
      {mb::kOk, true, mb::kAnswerOk},
      {mb::kOk, false, mb::kAnswerOk},
      {mb::kRetryCancel | mb::kIconError, true, mb::kAnswerCancel},
      {mb::kRetryCancel | mb::kIconError, false, mb::kAnswerCancel},
      {mb::kYesNo | mb::kIconQuestion, true, 0},
      {mb::kYesNo | mb::kIconQuestion, false, 0},
  };
  auto ui = makeBackend();
  for (const Case& c : cases) {
    bool stayedOpen = false;
    onNextBox([&](QMessageBox& box) {
      if (c.useEscape)
        QTest::keyClick(&box, Qt::Key_Escape);
      else
        box.close();
      QApplication::processEvents();
      stayedOpen = box.isVisible();
      if (stayedOpen) boxButton(box, QStringLiteral("いいえ(&N)"))->click();
    });
    const int answer = ui->messageBox("?", c.style, "t");
    EXPECT_EQ(stayedOpen, c.answer == 0) << c.style << " escape=" << c.useEscape;
    EXPECT_EQ(answer, c.answer == 0 ? mb::kAnswerNo : c.answer) << c.style;
  }
}

TEST(QtMessageBox, AccessKeysAnswerTheBox) {
  auto ui = makeBackend();
  onNextBox([](QMessageBox& box) {
    QApplication::setActiveWindow(&box);  // access keys act in the active window
    (void)QTest::qWaitForWindowActive(&box);
    QTest::keyClick(&box, Qt::Key_Y, Qt::AltModifier);
  });
  EXPECT_EQ(ui->messageBox("?", mb::kYesNo | mb::kIconQuestion, "t"), mb::kAnswerYes);
  onNextBox([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
  EXPECT_EQ(ui->messageBox("?", mb::kRetryCancel | mb::kIconError, "t"), mb::kAnswerRetry);
}

TEST(QtBackend, BusyPointerIsOneOverrideSetAndRestored) {
  auto ui = makeBackend();
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  ui->setMousePointer(kPointerHourglass);
  ui->setMousePointer(kPointerHourglass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui->setMousePointer(kPointerDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // not stacked
  ui->setMousePointer(kPointerDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtBackend, ClipboardReceivesText) {
  auto ui = makeBackend();
  ui->setClipboardText("作者 <author@example.jp>");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("作者 <author@example.jp>"));
}

TEST(QtBackend, OnlyTheFileSystemObjectCanBeCreated) {
  auto ui = makeBackend();
  try {
    (void)ui->createObject("Scripting.Dictionary");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kCannotCreateObject);
  }
}

TEST(QtBackend, ProgramEndClosesEveryWindowAndRunReturnsAtOnce) {
  auto ui = makeBackend();
  auto a = ui->createForm(frmMainLayout());
  auto b = ui->createForm(frmMainLayout());
  a->show();
  b->show();
  int later = 0;
  ui->dispatch([] { endProgram(); });
  EXPECT_TRUE(ui->ended());
  EXPECT_FALSE(a->isOpen());
  EXPECT_FALSE(qtForm(*b).window()->isVisible());
  ui->dispatch([&] { ++later; });  // no handler runs after the end
  EXPECT_EQ(later, 0);
  ui->run();  // returns: the program ended before the loop started
}

// Regression: leaving the event loop before it ever ran made every later modal box return at once.
TEST(QtBackend, AnEndBeforeTheLoopRanLeavesLaterBoxesModal) {
  {
    auto ended = makeBackend();
    ended->dispatch([] { endProgram(); });
    ended->run();
  }
  auto ui = makeBackend();
  bool seen = false;
  onNextBox([&](QMessageBox& box) {
    seen = true;
    boxButton(box, QStringLiteral("いいえ(&N)"))->click();
  });
  EXPECT_EQ(ui->messageBox("?", mb::kYesNo | mb::kIconQuestion, "t"), mb::kAnswerNo);
  EXPECT_TRUE(seen);
}

TEST(QtBackend, UnhandledErrorIsReportedThenTheProgramEnds) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  form->show();
  QString text;
  QMessageBox::Icon icon{};
  onNextBox([&](QMessageBox& box) {
    text = box.text();
    icon = box.icon();
    box.buttons().front()->click();
  });
  ui->dispatch([] { throw RuntimeError(err::kPastEnd); });
  EXPECT_TRUE(text.contains(QStringLiteral("62"))) << text.toStdString();
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_TRUE(ui->ended());
  EXPECT_FALSE(form->isOpen());
}

TEST(QtBackend, ClosingByTheFrameRaisesClosedThroughTheDispatcher) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  form->show();
  int closed = 0;
  form->Closed = [&] { ++closed; };
  qtForm(*form).window()->close();  // as the window manager's close button does
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(form->isOpen());

  auto other = ui->createForm(frmMainLayout());
  other->show();
  other->Closed = [] { endProgram(); };
  qtForm(*other).window()->close();
  EXPECT_TRUE(ui->ended());

  auto third = ui->createForm(frmMainLayout());
  int closedByProgram = 0;
  third->Closed = [&] { ++closedByProgram; };
  third->show();
  third->close();  // the program's own close raises no Closed
  EXPECT_EQ(closedByProgram, 0);
}

// The line where the progress stood, with the whole list behind it for the pointer and
// for screen readers; taken off again by an empty outcome.
TEST(QtBackend, TheOutcomeLineStandsInTheFreeBandWithTheListAsItsTooltip) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  form->show();
  const CopyOutcome outcome{"why?.txt: 名前にコピー先で使えない文字 '?' があります ほか 1 件",
                            "why?.txt: 名前にコピー先で使えない文字 '?' があります\nCON: 名前が…"};
  ui->showOutcome(outcome);
  QLabel* line = ui->outcomeLine();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->window(), qtForm(*form).window());
  EXPECT_EQ(line->text().toStdString(), outcome.line);
  EXPECT_EQ(line->toolTip().toStdString(), outcome.details);
  EXPECT_EQ(line->accessibleName().toStdString(), outcome.line);
  EXPECT_EQ(line->accessibleDescription().toStdString(), outcome.details);
  EXPECT_TRUE(line->isVisible());
  // Regression: movement over the line no longer refreshed the window as over its surface.
  std::vector<std::pair<float, float>> moves;
  form->MouseMove = [&](int, int, float x, float y) { moves.emplace_back(x, y); };
  QTest::mouseMove(line, QPoint(10, line->height() / 2));
  QCoreApplication::processEvents();
  ASSERT_FALSE(moves.empty());
  EXPECT_GT(moves[0].second, 0.0f);
  // Between the labels and the buttons, covering no control.
  for (QWidget* control : qtForm(*form).window()->findChildren<QWidget*>()) {
    if (control == line || control->parentWidget() != line->parentWidget()) continue;
    EXPECT_FALSE(control->geometry().intersects(line->geometry()))
        << control->objectName().toStdString();
  }
  ui->showOutcome({});
  EXPECT_EQ(ui->outcomeLine(), nullptr);
}

// Screen readers call the text boxes and lists by the label beside them.
TEST(QtBackend, TextBoxesAndListsCarryTheirLabelsAsAccessibleNames) {
  auto ui = test::makeBackend();
  const struct {
    const FormLayout& layout;
    const char* control;
    const char* name;
  } cases[] = {{frmCopyLayout(), "txtCopy1", "コピー元"},
               {frmCopyLayout(), "txtCopy2", "コピー先"},
               {frmCopy1Layout(), "txtFileName", "ファイル名"},
               {frmCopy1Layout(), "Drive1", "ドライブ"},
               {frmCopy1Layout(), "Dir1", "フォルダー"}};
  for (const auto& c : cases) {
    const std::unique_ptr<Form> form = ui->createForm(c.layout);
    EXPECT_EQ(test::qtForm(*form).widget(c.control)->accessibleName().toStdString(), c.name)
        << c.control;
  }
}

}  // namespace
}  // namespace qm::qt
