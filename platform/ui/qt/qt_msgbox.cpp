// Modal message boxes with the Win32 button sets, icons and answer codes.
#include "qt_msgbox.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "ui/backend.h"
#include "ui/message_box.h"

namespace qm::qt {

namespace {

constexpr BoxButton kOk{"OK", mb::kAnswerOk};
constexpr BoxButton kCancel{"キャンセル", mb::kAnswerCancel};
constexpr BoxButton kAbort{"中止(&A)", mb::kAnswerAbort};
constexpr BoxButton kRetry{"再試行(&R)", mb::kAnswerRetry};
constexpr BoxButton kIgnore{"無視(&I)", mb::kAnswerIgnore};
constexpr BoxButton kYes{"はい(&Y)", mb::kAnswerYes};
constexpr BoxButton kNo{"いいえ(&N)", mb::kAnswerNo};

QString boxText(std::string_view text) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

// A box is a dialog of the program: where the window manager still offers to minimise it
// (and, with it, the window it belongs to), it comes straight back, since the program
// waits for its answer and would be left hidden with no window to return to.
class StayShown : public QObject {
 public:
  explicit StayShown(QWidget* box) : QObject(box), box_(box) { box->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == box_ && event->type() == QEvent::WindowStateChange && box_->isMinimized())
      QTimer::singleShot(0, box_, [box = box_] {
        box->setWindowState(box->windowState() & ~Qt::WindowMinimized);
        box->show();
        box->raise();
        box->activateWindow();
      });
    return false;
  }

 private:
  QWidget* box_;
};

// Japanese text may break between any two characters, and QMessageBox wraps at about
// 500 pixels, so a long sentence lost its last characters to a line of their own. The
// text instead gets the width of its longest line, up to what QMessageBox allows on the
// screen (less the icon and margins); a longer line is broken after punctuation.
int widestTextLine() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
  const int boxLimit = screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
  return boxLimit - 160;
}

QString breakAfterPunctuation(const QString& line, const QFontMetrics& fm, int width) {
  static const QString marks = QStringLiteral("。、､，！？!?");
  QString out, current, piece;
  for (const QChar c : line) {
    piece += c;
    if (!marks.contains(c)) continue;
    if (!current.isEmpty() && fm.horizontalAdvance(current + piece) > width) {
      out += current + u'\n';
      current.clear();
    }
    current += piece;
    piece.clear();
  }
  current += piece;
  return out + current;
}

void fitTextWidth(QMessageBox& box) {
  QLabel* label = nullptr;
  for (QLabel* l : box.findChildren<QLabel*>())
    if (l->text() == box.text()) label = l;
  if (!label) return;
  box.ensurePolished();
  const QFontMetrics fm = label->fontMetrics();
  const int limit = widestTextLine();
  QStringList lines = box.text().split(u'\n');
  for (QString& line : lines)
    if (fm.horizontalAdvance(line) > limit) line = breakAfterPunctuation(line, fm, limit);
  const QString text = lines.join(u'\n');
  if (text != box.text()) box.setText(text);
  int widest = 0;
  for (const QString& line : text.split(u'\n'))
    widest = std::max(widest, fm.horizontalAdvance(line));
  // A pixel or two to spare: the label's own layout rounds its widths.
  label->setMinimumWidth(std::min(widest + 2, limit));
}

}  // namespace

// The captions of the answers; which buttons a style has is the core's rule.
std::vector<BoxButton> boxButtons(int style) {
  std::vector<BoxButton> buttons;
  for (int answer : mb::boxAnswers(style))
    for (const BoxButton& b : {kOk, kCancel, kAbort, kRetry, kIgnore, kYes, kNo})
      if (b.answer == answer) buttons.push_back(b);
  return buttons;
}

int boxEscapeAnswer(int style) {
  return mb::boxEscapeAnswer(style);
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
  fitTextWidth(box);
  new StayShown(&box);
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
