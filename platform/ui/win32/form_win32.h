// A Win32 top-level window built from a layout table, and its message handling.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "controls_win32.h"
#include "ui/form_core.h"
#include "ui/layout.h"

namespace qm::win32 {

class Win32Backend;

class W32Form : public FormCore {
 public:
  W32Form(Win32Backend& backend, const FormLayout& layout);
  ~W32Form() override;

  void close() override;

  HWND hwnd() const { return hwnd_; }
  // The dpi the window is laid out at: its monitor's.
  int dpi() const { return dpi_; }
  using FormCore::control;
  // The handle of a control, or nullptr.
  HWND control(std::string_view name) const {
    auto it = handles_.find(name);
    return it == handles_.end() ? nullptr : it->second;
  }
  Win32Backend& backend() { return w32Backend_; }
  // A control's window has taken the focus.
  void controlFocused(std::string_view name) { focusArrived(name); }
  // Keys that go around the dialog manager: Enter on the folder list opens the folder;
  // access keys follow the form's table; a plain character is the focused control's own
  // (the dialog manager would take it as an access key when a button has the focus).
  bool preTranslate(const MSG& msg);
  LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // The handle is gone (DestroyWindow by anyone).
  void destroyed();
  // Changes the tooltip of the control window `child`.
  void changeToolTip(HWND child, std::string_view text);

 protected:
  void showWindow(bool again) override;
  void moveFocus(std::string_view name) override;

 private:
  void createWindow();
  void createControls();
  void nameForScreenReaders();
  RECT childRect(const ControlRow& row) const;
  void fitClientArea();
  void setIcons();
  void changeDpi(int dpi, const RECT& suggested);
  HWND createChild(const ControlRow& row, int id);
  std::unique_ptr<Control> wrap(const ControlRow& row, HWND child, int id);
  void addToolTip(HWND child, std::string_view text);
  void onMouseMove(WPARAM wParam, LPARAM lParam);
  void restoreFocus();
  bool pressAccessKey(WPARAM key);
  LRESULT defaultButtonId() const;

  Win32Backend& w32Backend_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  HWND toolTip_ = nullptr;
  std::map<std::string, HWND, std::less<>> handles_;
  std::map<int, W32Control*> children_;  // by control id, for their notices
};

}  // namespace qm::win32
