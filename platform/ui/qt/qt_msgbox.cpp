// Modal message boxes with the Win32 button sets, icons and answer codes.
#include "qt_msgbox.h"

#include <QAbstractButton>
#include <QPushButton>

#include "backend.h"

namespace qm::qt {

namespace {

constexpr BoxButton kOk{"OK", mb::kAnswerOk};
constexpr BoxButton kCancel{"キャンセル", mb::kAnswerCancel};
constexpr BoxButton kAbort{"中止(&A)", 3};
constexpr BoxButton kRetry{"再試行(&R)", mb::kAnswerRetry};
constexpr BoxButton kIgnore{"無視(&I)", 5};
constexpr BoxButton kYes{"はい(&Y)", mb::kAnswerYes};
constexpr BoxButton kNo{"いいえ(&N)", mb::kAnswerNo};

QString boxText(std::string_view text) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

}  // namespace

std::vector<BoxButton> boxButtons(int style) {
  switch (style & 0xF) {
    case 1: return {kOk, kCancel};
    case 2: return {kAbort, kRetry, kIgnore};
    case 3: return {kYes, kNo, kCancel};
    case 4: return {kYes, kNo};
    case 5: return {kRetry, kCancel};
    default: return {kOk};
  }
}

int boxEscapeAnswer(int style) {
  const std::vector<BoxButton> buttons = boxButtons(style);
  for (const BoxButton& b : buttons)
    if (b.answer == mb::kAnswerCancel) return b.answer;
  return buttons.size() == 1 ? buttons.front().answer : 0;
}

QMessageBox::Icon boxIcon(int style) {
  switch (style & 0xF0) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

BuiltBox buildMessageBox(QWidget* parent, std::string_view text, int style,
                         std::string_view title) {
  BuiltBox built{std::make_unique<QMessageBox>(parent), {}, boxEscapeAnswer(style)};
  QMessageBox& box = *built.box;
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
  box.setText(boxText(text));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(boxIcon(style));
  // Every button has the action role: the box then finds no escape button of its own,
  // so Esc and the close button do nothing unless one is set below.
  for (const BoxButton& b : boxButtons(style)) {
    QPushButton* button = box.addButton(QString::fromUtf8(b.text), QMessageBox::ActionRole);
    built.answers[button] = b.answer;
    if (built.answers.size() == 1) box.setDefaultButton(button);
    if (b.answer == built.escapeAnswer) box.setEscapeButton(button);
  }
  return built;
}

int BuiltBox::answer() const {
  const auto it = answers.find(box->clickedButton());
  if (it != answers.end()) return it->second;
  return escapeAnswer ? escapeAnswer : mb::kAnswerOk;
}

int showMessageBox(QWidget* parent, std::string_view text, int style, std::string_view title) {
  BuiltBox built = buildMessageBox(parent, text, style, title);
  built.box->exec();
  return built.answer();
}

}  // namespace qm::qt
