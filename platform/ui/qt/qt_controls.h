// Labels, command buttons and text boxes as Qt widgets behind the control interface.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QSize>

#include "backend.h"
#include "controls.h"
#include "layout.h"

namespace qm::qt {

// The dynamic property that carries a text box's input-method wish ("hiragana").
inline constexpr const char* kImeModeProperty = "qmImeMode";

class QtLabel : public Label {
 public:
  QtLabel(QWidget* parent, const ControlRow& row, double dpi);
  std::string caption() const override;
  void setCaption(std::string_view caption) override;
  QLabel* widget() const { return label_; }

 private:
  // An auto-sized label keeps its left and top and takes the size of its text.
  void fitToText();

  QLabel* label_;
  bool autoSize_;
  QSize designSize_;
};

class QtButton : public CommandButton {
 public:
  QtButton(QWidget* parent, const ControlRow& row, Backend& backend);
  QPushButton* widget() const { return button_; }

 private:
  QPushButton* button_;
  QObject guard_;  // ends the signal connections with this object
};

// A single-line box. Program changes raise Change synchronously from setText; user
// edits raise it through the dispatcher. Positions are counted in characters.
class QtTextBox : public TextBox {
 public:
  QtTextBox(QWidget* parent, const ControlRow& row, Backend& backend);
  std::string text() const override;
  void setText(std::string_view text) override;
  int selStart() const override;
  int selLength() const override;
  void setSelStart(int start) override;
  void setSelLength(int length) override;
  QLineEdit* widget() const { return edit_; }

 private:
  QLineEdit* edit_;
  Backend& backend_;
  QObject guard_;
};

// Character (code point) positions to and from the UTF-16 positions of a QString.
int utf16ToCharacters(const QString& text, int utf16Pos);
int charactersToUtf16(const QString& text, int characters);

}  // namespace qm::qt
