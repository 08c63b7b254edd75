// Labels, command buttons and text boxes of the Qt backend.
#include "qt_controls.h"

#include <algorithm>

#include "qt_style.h"

namespace qm::qt {

namespace {
QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

int utf16ToCharacters(const QString& text, int utf16Pos) {
  int chars = 0;
  for (int i = 0; i < utf16Pos && i < text.size(); ++i)
    if (!text.at(i).isLowSurrogate()) ++chars;
  return chars;
}

int charactersToUtf16(const QString& text, int characters) {
  int pos = 0;
  for (int c = 0; c < characters && pos < text.size(); ++c)
    pos += text.at(pos).isHighSurrogate() && pos + 1 < text.size() ? 2 : 1;
  return pos;
}

// ---- label ----------------------------------------------------------------------------

QtLabel::QtLabel(QWidget* parent, const ControlRow& row, double dpi)
    : label_(new QLabel(parent)), autoSize_(row.other & kAutoSize) {
  label_->setObjectName(fromUtf8(row.name));
  label_->setTextFormat(Qt::PlainText);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label_->setFont(layoutFont(row.font));
  if (row.other & kBorder) {
    label_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label_->setLineWidth(1);
  }
  if (!row.toolTip.empty()) label_->setToolTip(fromUtf8(row.toolTip));
  label_->setGeometry(rowRect(row, dpi));
  designSize_ = label_->size();
  // The table holds the size the label had at design time, fitted or not.
  label_->setText(fromUtf8(row.caption));
}

std::string QtLabel::caption() const { return label_->text().toStdString(); }

void QtLabel::setCaption(std::string_view caption) {
  const std::string kept(caption.substr(0, caption.find('\0')));
  label_->setText(fromUtf8(kept));
  fitToText();
}

void QtLabel::fitToText() {
  if (!autoSize_) return;
  label_->resize(label_->text().isEmpty() ? designSize_ : label_->sizeHint());
}

// ---- button ---------------------------------------------------------------------------

QtButton::QtButton(QWidget* parent, const ControlRow& row, Backend& backend)
    : button_(new QPushButton(fromUtf8(row.caption), parent)) {
  button_->setObjectName(fromUtf8(row.name));
  button_->setFont(layoutFont(row.font));
  button_->setGeometry(rowRect(row, screenDpi()));
  // Not auto-default, so that focusing a button never makes it the window's default;
  // Enter on a focused plain button reaches the window, which presses that button.
  button_->setAutoDefault(false);
  button_->setDefault(row.other & kDefault);
  if (!row.toolTip.empty()) button_->setToolTip(fromUtf8(row.toolTip));
  QObject::connect(button_, &QPushButton::clicked, &guard_, [this, &backend] {
    backend.dispatch([this] {
      if (Click) Click();
    });
  });
}

// ---- text box -------------------------------------------------------------------------

QtTextBox::QtTextBox(QWidget* parent, const ControlRow& row, Backend& backend)
    : edit_(new QLineEdit(parent)), backend_(backend) {
  edit_->setObjectName(fromUtf8(row.name));
  edit_->setFont(layoutFont(row.font));
  edit_->setGeometry(rowRect(row, screenDpi()));
  if (!row.toolTip.empty()) edit_->setToolTip(fromUtf8(row.toolTip));
  // Qt has no hint that asks the input method for hiragana; the box is marked so that
  // an input-method bridge (or a test) can see the wish, and the input method stays on.
  edit_->setAttribute(Qt::WA_InputMethodEnabled, true);
  if (row.other & kImeHiragana) edit_->setProperty(kImeModeProperty, QStringLiteral("hiragana"));
  // textEdited comes from the user only (typing, paste, undo); program changes raise
  // Change in setText.
  QObject::connect(edit_, &QLineEdit::textEdited, &guard_, [this] {
    backend_.dispatch([this] {
      if (Change) Change();
    });
  });
}

std::string QtTextBox::text() const { return edit_->text().toStdString(); }

void QtTextBox::setText(std::string_view text) {
  const QString kept = fromUtf8(text.substr(0, text.find('\0')));
  if (kept == edit_->text()) return;
  edit_->setText(kept);
  edit_->setCursorPosition(0);
  if (Change) Change();
}

int QtTextBox::selStart() const {
  const int pos = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
  return utf16ToCharacters(edit_->text(), pos);
}

int QtTextBox::selLength() const {
  if (!edit_->hasSelectedText()) return 0;
  const QString t = edit_->text();
  const int start = edit_->selectionStart();
  return utf16ToCharacters(t, start + edit_->selectionLength()) - utf16ToCharacters(t, start);
}

void QtTextBox::setSelStart(int start) {
  const QString t = edit_->text();
  const int chars = std::clamp(start, 0, utf16ToCharacters(t, static_cast<int>(t.size())));
  edit_->setCursorPosition(charactersToUtf16(t, chars));
}

void QtTextBox::setSelLength(int length) {
  const QString t = edit_->text();
  const int start = selStart();
  const int total = utf16ToCharacters(t, static_cast<int>(t.size()));
  const int chars = std::clamp(length, 0, total - start);
  const int from = charactersToUtf16(t, start);
  edit_->setSelection(from, charactersToUtf16(t, start + chars) - from);
}

}  // namespace qm::qt
