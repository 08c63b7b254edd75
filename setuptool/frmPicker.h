// The folder pickers frmCopy1 and frmCopy2: one module, two layouts.
#pragma once

#include <string>
#include <string_view>

#include "ui/window.h"

namespace qm {

const FormLayout& frmCopy1Layout();
const FormLayout& frmCopy2Layout();

class frmPicker : public Window {
 public:
  // `owner` is the settings window; `targetBox` is the box of it that OK fills.
  frmPicker(Backend& ui, const FormLayout& layout, Window& owner, std::string_view targetBox);

  // Shows the picker without making it modal: loads it afresh when it is not loaded,
  // else only brings it to the front.
  void Show();

  void Form_Load();
  void Drive1_Change();
  void Dir1_Change();
  void txtFileName_Change();
  void cmdOpen_Click();
  void cmdExit_Click();

  // The path that OK hands on; follows the text of txtFileName.
  std::string pickedPath;

 private:
  Window& owner_;
  std::string targetBox_;
};

}  // namespace qm
