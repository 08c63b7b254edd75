// Enter in the pickers on the Win32 backend, delivered as the event loop delivers keys.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "frmPicker.h"
#include "ui/app.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/form_win32.h"

namespace qm::win32 {
namespace {

// Hands every queued message to the backend's own routing.
void deliverPending(Win32Backend& ui) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ui.deliver(msg);
}

// As in the classic directory list box, Enter in the folder list opens the selected
// folder and presses no button; in every other control it presses the focused button,
// else the picker's default button cmdOpen.
TEST(Win32PickerKeys, EnterOpensTheSelectedFolderInDir1AndPressesCmdOpenElsewhere) {
  const std::wstring base = L"C:\\qm-keys-test";
  for (const wchar_t* p : {L"", L"\\a", L"\\b"}) CreateDirectoryW((base + p).c_str(), nullptr);
  struct Case {
    const char* focus;
    const char* pressed;  // nullptr: no button
    std::string path;     // Dir1's path afterwards
  };
  const Case cases[] = {
      {"Dir1", nullptr, "C:\\qm-keys-test\\b"},   {"txtFileName", "cmdOpen", "C:\\qm-keys-test"},
      {"Drive1", "cmdOpen", "C:\\qm-keys-test"},  {"cmdOpen", "cmdOpen", "C:\\qm-keys-test"},
      {"cmdExit", "cmdExit", "C:\\qm-keys-test"},
  };
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  std::unique_ptr<Backend> backend = createBackend(argc, argv, "QMS(QuillmarSetter)");
  auto& ui = static_cast<Win32Backend&>(*backend);
  for (const FormLayout* layout : {&frmCopy1Layout(), &frmCopy2Layout()}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(layout->name) + " focus on " + c.focus);
      auto made = ui.createForm(*layout);
      auto& form = static_cast<W32Form&>(*made);
      std::vector<std::string> pressed;
      for (const char* button : {"cmdOpen", "cmdExit"})
        form.button(button).Click = [&pressed, button] { pressed.emplace_back(button); };
      form.dirList("Dir1").setPath("C:\\qm-keys-test");
      form.show();
      deliverPending(ui);
      HWND dir = form.control("Dir1");
      const LRESULT b = SendMessageW(dir, LB_FINDSTRING, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(L"    b"));
      ASSERT_NE(b, LB_ERR);
      SendMessageW(dir, LB_SETCURSEL, static_cast<WPARAM>(b), 0);
      form.setFocus(c.focus);
      ASSERT_EQ(GetFocus(), form.control(c.focus));
      PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
      PostMessageW(GetFocus(), WM_KEYUP, VK_RETURN, 1 | (3u << 30));
      deliverPending(ui);
      EXPECT_EQ(form.dirList("Dir1").path(), c.path);
      EXPECT_EQ(pressed,
                c.pressed ? std::vector<std::string>{c.pressed} : std::vector<std::string>{});
      form.close();
      deliverPending(ui);
    }
  }
  for (const wchar_t* p : {L"\\a", L"\\b", L""}) RemoveDirectoryW((base + p).c_str());
}

}  // namespace
}  // namespace qm::win32
