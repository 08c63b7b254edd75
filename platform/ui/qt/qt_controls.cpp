// Labels, command buttons and text boxes of the Qt backend.
#include "qt_controls.h"

#include <algorithm>

#include "qt_style.h"

namespace qm::qt {

namespace {
QString fromUtf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

// ---- label ----------------------------------------------------------------------------

QtLabel::QtLabel(QWidget* parent, const ControlRow& row, double dpi)
    : LabelCore(row), label_(new QLabel(parent)), autoSize_(row.other & kAutoSize) {
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

// A label draws its "&" as an access key only when it has a buddy (set by the form for
// labels whose design caption holds one); any other shows it as it is.
void QtLabel::showCaption(const std::string& caption) {
  label_->setText(fromUtf8(caption));
  if (!autoSize_) return;
  label_->resize(label_->text().isEmpty() ? designSize_ : label_->sizeHint());
}

void QtLabel::showToolTip(const std::string& tip) {
  label_->setToolTip(fromUtf8(tip));
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
    : TextBoxCore(backend), edit_(new QLineEdit(parent)) {
  edit_->setObjectName(fromUtf8(row.name));
  edit_->setFont(layoutFont(row.font));
  edit_->setGeometry(rowRect(row, screenDpi()));
  if (!row.toolTip.empty()) edit_->setToolTip(fromUtf8(row.toolTip));
  // Qt has no hint that asks the input method for hiragana: the wish is kept as a
  // property of the widget (the tests read it there), and the input method stays on.
  edit_->setAttribute(Qt::WA_InputMethodEnabled, true);
  if (row.other & kImeHiragana) edit_->setProperty(kImeModeProperty, QStringLiteral("hiragana"));
  // textEdited comes from the user only (typing, paste, undo); program changes go
  // through setText.
  QObject::connect(edit_, &QLineEdit::textEdited, &guard_,
                   [this](const QString& now) { userEdited(now.toStdString()); });
}

void QtTextBox::showText(const std::string& text) {
  edit_->setText(QString::fromStdString(text));
}

std::pair<int, int> QtTextBox::selectionUnits() const {
  if (!edit_->hasSelectedText()) return {edit_->cursorPosition(), edit_->cursorPosition()};
  return {edit_->selectionStart(), edit_->selectionEnd()};
}

void QtTextBox::selectUnits(int from, int to) {
  if (from == to)
    edit_->setCursorPosition(from);
  else
    edit_->setSelection(from, to - from);
}

}  // namespace qm::qt
