// Win32 controls behind the control interface: labels, buttons, text boxes, drive and folder lists.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/control_core.h"
#include "ui/layout.h"

namespace qm::win32 {

class W32Form;

// A label: a STATIC that can grow to fit its caption.
class W32Label : public LabelCore {
 public:
  W32Label(W32Form& form, const ControlRow& row, HWND hwnd);

 protected:
  void showCaption(const std::string& caption) override;

 private:
  void fitToText(const std::wstring& text);
  W32Form& form_;
  const ControlRow& row_;
  HWND hwnd_;
};

class W32Button : public CommandButton {
 public:
  explicit W32Button(HWND hwnd) : hwnd_(hwnd) {}
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_;
};

// A single-line EDIT.
class W32TextBox : public TextBoxCore {
 public:
  W32TextBox(W32Form& form, const ControlRow& row, HWND hwnd);

  // EN_CHANGE and EN_SETFOCUS from the control.
  void onEditChange();
  void onSetFocus();

 protected:
  void showText(const std::string& text) override;
  std::pair<int, int> selectionUnits() const override;
  void selectUnits(int from, int to) override;

 private:
  const ControlRow& row_;
  HWND hwnd_;
  int suppress_ = 0;
};

// A drop-down list of the drives, "C:" style.
class W32DriveList : public DriveListCore {
 public:
  W32DriveList(W32Form& form, HWND hwnd);
  void onSelChange();

 protected:
  std::string selectDrive(std::string_view spec) override;

 private:
  void fill(const std::string& selected);
  HWND hwnd_;
  std::vector<std::string> specs_;
};

// A folder list: the ancestors from the root, the folder itself, then its subfolders.
class W32DirList : public DirListCore {
 public:
  W32DirList(W32Form& form, HWND hwnd);
  // Opens the selected entry (double-click or Enter).
  void openSelected();
  HWND hwnd() const { return hwnd_; }

 protected:
  std::string openFolder(std::string_view path) override;

 private:
  void fill(const std::wstring& folder, const std::vector<std::wstring>& subfolders);
  HWND hwnd_;
  std::vector<std::string> paths_;
};

}  // namespace qm::win32
