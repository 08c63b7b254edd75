// Modal message boxes with the Win32 button sets, icons and answer codes.
#pragma once

#include <QMessageBox>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

namespace qm::qt {

struct BoxButton {
  const char* text;  // "&" marks the access key
  int answer;        // the Win32 answer code
};

// The buttons of a style, left to right; the first is the default button.
std::vector<BoxButton> boxButtons(int style);

// The answer that Esc and the close button give, or 0 when the box ignores both.
int boxEscapeAnswer(int style);

QMessageBox::Icon boxIcon(int style);

// A box made ready to show, with the answer code of each of its buttons.
struct BuiltBox {
  std::unique_ptr<QMessageBox> box;
  std::map<QAbstractButton*, int> answers;
  int escapeAnswer = 0;
  // The answer of the button that closed the box.
  int answer() const;
};
BuiltBox buildMessageBox(QWidget* parent, std::string_view text, int style, std::string_view title);

// Shows the box modally over `parent` (may be null) and returns the answer code.
int showMessageBox(QWidget* parent, std::string_view text, int style, std::string_view title);

}  // namespace qm::qt
