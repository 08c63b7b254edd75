// Win32 controls behind the control interface: labels, buttons, text boxes, drive and folder lists.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/control_core.h"
#include "ui/layout.h"

namespace qm::win32 {

class W32Form;

// What each Win32 control adds to its core: its child window, and the handling of the
// notices that window sends (WM_COMMAND codes, which its form hands on by the id).
class W32Control {
 public:
  W32Control(W32Form& form, const ControlRow& row, HWND hwnd)
      : form_(form), row_(row), hwnd_(hwnd) {}
  virtual ~W32Control() = default;
  W32Control(const W32Control&) = delete;
  W32Control& operator=(const W32Control&) = delete;

  HWND hwnd() const { return hwnd_; }
  // A notice of the child window; a kind that sends none ignores it.
  virtual void onCommand(WORD /*code*/) {}

 protected:
  // Each kind announces its focus, so that the form always knows the focused control.
  void focusNotice(WORD code, WORD setFocus);

  W32Form& form_;
  const ControlRow& row_;
  HWND hwnd_;
};

// A label: a STATIC that can grow to fit its caption.
class W32Label : public LabelCore, public W32Control {
 public:
  W32Label(W32Form& form, const ControlRow& row, HWND hwnd);
  // Fits an auto-sized label to its caption again, at the window's dpi.
  void fit();

 protected:
  void showCaption(const std::string& caption) override;
  void showToolTip(const std::string& tip) override;

 private:
  void fitToText(const std::wstring& text);
};

// A push button: a click runs its Click handler through the dispatcher.
class W32Button : public CommandButton, public W32Control {
 public:
  using W32Control::W32Control;
  void onCommand(WORD code) override;
};

// A single-line EDIT.
class W32TextBox : public TextBoxCore, public W32Control {
 public:
  W32TextBox(W32Form& form, const ControlRow& row, HWND hwnd);
  void onCommand(WORD code) override;

 protected:
  void showText(const std::string& text) override;
  std::pair<int, int> selectionUnits() const override;
  void selectUnits(int from, int to) override;

 private:
  void onEditChange();
  void onSetFocus();
  int suppress_ = 0;
};

// A drop-down list of the drives, "C:" style.
class W32DriveList : public DriveListCore, public W32Control {
 public:
  W32DriveList(W32Form& form, const ControlRow& row, HWND hwnd);
  void onCommand(WORD code) override;

 protected:
  std::string selectDrive(std::string_view spec) override;

 private:
  void onSelChange();
  void fill(const std::string& selected);
  std::vector<std::string> specs_;
};

// A folder list: the ancestors from the root, the folder itself, then its subfolders.
class W32DirList : public DirListCore, public W32Control {
 public:
  W32DirList(W32Form& form, const ControlRow& row, HWND hwnd);
  void onCommand(WORD code) override;
  // Opens the selected entry (double-click or Enter).
  void openSelected();

 protected:
  std::string openFolder(std::string_view path) override;

 private:
  void fill(const std::wstring& folder, const std::vector<std::wstring>& subfolders);
  std::vector<std::string> paths_;
};

}  // namespace qm::win32
