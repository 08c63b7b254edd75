// The Win32 backend's tests share one fixture: a backend, the forms it made, a small layout.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <vector>

#include "errors.h"
#include "win32_fs_util.h"
#include "ui/app.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/form_win32.h"

namespace qm::win32 {

using testing::errorOf;

// clang-format off
inline const FormLayout& testLayout() {
  static const FormLayout layout{
    "frmTest", "テスト", 6000, 3000, StartUpPosition::CenterScreen, WindowIcon::SetupTool,
    {
      {ControlType::CommandButton, "cmdOK",  "&OK",       300, 2000, 1500, 495, 2, kDefaultFont, {}, kDefault},
      {ControlType::TextBox,       "txtA",   "",          300, 300,  3000, 375, 0},
      {ControlType::TextBox,       "txtB",   "",          300, 900,  3000, 375, 1},
      {ControlType::Label,         "lblA",   "コピー元",  3600, 300, 135,  285, 3, pt(11.25), {}, kAutoSize | kBorder},
      {ControlType::DriveListBox,  "Drive1", "",          300, 1500, 3000, 300, 4},
      {ControlType::DirListBox,    "Dir1",   "",          3600, 900, 2000, 1800, 5},
    }};
  return layout;
}
// clang-format on

class Win32BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    ui = createBackend(argc, argv, "QM(Quillmar)");
  }
  W32Form& make(const FormLayout& layout) {
    forms.push_back(ui->createForm(layout));
    return dynamic_cast<W32Form&>(*forms.back());
  }
  std::unique_ptr<Backend> ui;
  std::vector<std::unique_ptr<Form>> forms;
};

inline RECT clientRectOf(HWND child) {
  RECT rc;
  GetWindowRect(child, &rc);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

}  // namespace qm::win32
