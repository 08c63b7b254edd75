// Windows and boxes of the Qt backend as a window manager sees them: kind, buttons, icon, width.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QTest>

#include "frmCopy.h"
#include "frmMain.h"
#include "qt_test_util.h"
#include "ui/qt/qt_style.h"

namespace qm::qt {
namespace {

using test::boxButton;
using test::makeBackend;
using test::onNextBox;
using test::qtForm;

bool sameIcon(const QIcon& a, const QIcon& b) {
  return !a.isNull() && a.pixmap(16).toImage() == b.pixmap(16).toImage() &&
         a.pixmap(32).toImage() == b.pixmap(32).toImage();
}

// Regression: the box shown before any window (the copy tool's missing settings) had no
// program icon; every box is a dialog without minimise or maximise buttons.
TEST(QtDecor, EveryBoxIsADialogWithTheIconOfItsProgram) {
  struct Case {
    const FormLayout* window;
    WindowIcon icon;
    bool shown;
  };
  const Case cases[] = {
      {&frmMainLayout(), WindowIcon::CopyTool, false},  // before the window is shown
      {&frmMainLayout(), WindowIcon::CopyTool, true},
      {&frmCopyLayout(), WindowIcon::SetupTool, true},
  };
  auto ui = makeBackend();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.window->name) + (c.shown ? " shown" : " not shown"));
    auto form = ui->createForm(*c.window);
    if (c.shown) test::showAndWait(*form);
    bool icon = false, dialog = false, buttons = true;
    onNextBox([&](QMessageBox& box) {
      icon = sameIcon(box.windowIcon(), windowIcon(c.icon));
      const Qt::WindowFlags flags = box.windowFlags();
      dialog = (flags & Qt::WindowType_Mask) == Qt::Dialog;
      buttons = flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
      boxButton(box, "OK")->click();
    });
    ui->messageBox("テスト", mb::kOk, "QM(Quillmar)");
    EXPECT_TRUE(icon);
    EXPECT_TRUE(dialog);
    EXPECT_FALSE(buttons);
    form->close();
  }
}

// Regression: fixed windows offered a maximise button that did nothing.
TEST(QtDecor, FixedWindowsOfferMinimiseAndCloseButNoMaximise) {
  auto ui = makeBackend();
  for (const FormLayout* layout : {&frmMainLayout(), &frmCopyLayout()}) {
    auto form = ui->createForm(*layout);
    const QWidget* w = qtForm(*form).window();
    const Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint) << layout->name;
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint) << layout->name;
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint) << layout->name;
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint) << layout->name;
    EXPECT_EQ(w->minimumSize(), w->maximumSize()) << layout->name;
  }
}

// Regression: QMessageBox wrapped at about 500 pixels, anywhere between two Japanese
// characters ("くださ" / "い。"). The longest texts of both programs stand whole on
// their lines.
TEST(QtDecor, BoxesAreWideEnoughForTheirLongestLine) {
  const char* const texts[] = {
      "『Copy.Copy』が見つかりません。≪QMS(QuillmarSetter.exe)≫で、コピー元と､コピー先を､"
      "設定してから､再度実行してください。  ",
      "エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。",
      "指定しているパス名が見つかりません！もう１度設定しなおしてください!",
      "≪QMS(QuillmarSetter)≫が見つかりません。\r\n"
      "このプログラム(QM(Quillmar)と同一フォルダにあるか確認してください。",
      "QM(Quillmar)が見つかりません。同フォルダにQM(Quillmar)があるか確認してください。",
      "デバイスの準備が出来ていません！！　準備が出来てから､再度実行してください。",
      "原因がわかる場合は解決して､わからない場合は､作者に知らせてください。",
  };
  auto ui = makeBackend();
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    QString shown;
    int labelWidth = 0, widest = 0;
    onNextBox([&](QMessageBox& box) {
      QApplication::processEvents();
      shown = box.text();
      for (QLabel* l : box.findChildren<QLabel*>())
        if (l->text() == box.text()) {
          labelWidth = l->contentsRect().width();
          for (const QString& line : box.text().split(u'\n'))
            widest = std::max(widest, l->fontMetrics().horizontalAdvance(line));
        }
      boxButton(box, "OK")->click();
    });
    ui->messageBox(text, mb::kOk, "QM(Quillmar)");
    // Where the screen is too narrow for a line, it is broken after a punctuation mark
    // and nowhere else; the text is otherwise the same.
    const QStringList given = QString::fromUtf8(text).split(QStringLiteral("\r\n"));
    const QStringList lines = shown.split(u'\n');
    int at = 0;
    for (const QString& line : given) {
      QString joined = lines.value(at++);
      while (joined.size() < line.size() && at < lines.size()) {
        EXPECT_TRUE(QStringLiteral("。、､！？!?").contains(joined.back())) << joined.toStdString();
        joined += lines[at++];
      }
      EXPECT_EQ(joined, line);
    }
    EXPECT_EQ(at, lines.size());
    EXPECT_GT(widest, 0);
    EXPECT_GE(labelWidth, widest);
  }
}

// Regression: minimising the modal confirmation hid the program with it; the box comes
// straight back, since the program waits for its answer.
TEST(QtDecor, AMinimisedBoxComesBack) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  test::showAndWait(*form);
  bool minimised = false, back = false;
  onNextBox([&](QMessageBox& box) {
    box.setWindowState(Qt::WindowMinimized);
    minimised = box.isMinimized();
    back = QTest::qWaitFor([&] { return !box.isMinimized() && box.isVisible(); }, 1000);
    boxButton(box, "いいえ(&N)")->click();
  });
  EXPECT_EQ(ui->messageBox("コピーを開始します。よろしいですか？", mb::kYesNo | mb::kIconQuestion,
                           "コピー"),
            mb::kAnswerNo);
  EXPECT_TRUE(minimised);
  EXPECT_TRUE(back);
}

}  // namespace
}  // namespace qm::qt
