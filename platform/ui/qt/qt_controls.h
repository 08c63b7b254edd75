// Labels, command buttons and text boxes as Qt widgets behind the control interface.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QSize>

#include "ui/backend.h"
#include "ui/control_core.h"
#include "ui/layout.h"

namespace qm::qt {

// The dynamic property that carries a text box's input-method wish ("hiragana").
inline constexpr const char* kImeModeProperty = "qmImeMode";

// A label; one whose design caption holds no access key shows every "&" as it is.
class QtLabel : public LabelCore {
 public:
  QtLabel(QWidget* parent, const ControlRow& row, double dpi);
  QLabel* widget() const { return label_; }

 protected:
  // An auto-sized label keeps its left and top and takes the size of its text.
  void showCaption(const std::string& caption) override;
  void showToolTip(const std::string& tip) override;

 private:
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

// A single-line box; user edits reach the core through textEdited.
class QtTextBox : public TextBoxCore {
 public:
  QtTextBox(QWidget* parent, const ControlRow& row, Backend& backend);
  QLineEdit* widget() const { return edit_; }

 protected:
  void showText(const std::string& text) override;
  std::pair<int, int> selectionUnits() const override;
  void selectUnits(int from, int to) override;

 private:
  QLineEdit* edit_;
  QObject guard_;
};

}  // namespace qm::qt
