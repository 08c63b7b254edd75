// Win32 controls behind the control interface: labels, buttons, text boxes, drive and folder lists.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "controls.h"
#include "layout.h"

namespace qm::win32 {

class W32Form;

// A label: a STATIC that can grow to fit its caption.
class W32Label : public Label {
 public:
  W32Label(W32Form& form, const ControlRow& row, HWND hwnd);
  std::string caption() const override { return caption_; }
  void setCaption(std::string_view caption) override;

 private:
  void fitToText();
  W32Form& form_;
  const ControlRow& row_;
  HWND hwnd_;
  std::string caption_;
};

class W32Button : public CommandButton {
 public:
  explicit W32Button(HWND hwnd) : hwnd_(hwnd) {}
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_;
};

// A single-line EDIT. Its text is kept here too, so that only real changes raise Change.
class W32TextBox : public TextBox {
 public:
  W32TextBox(W32Form& form, const ControlRow& row, HWND hwnd);
  std::string text() const override { return text_; }
  void setText(std::string_view text) override;
  int selStart() const override;
  int selLength() const override;
  void setSelStart(int start) override;
  void setSelLength(int length) override;

  // EN_CHANGE and EN_SETFOCUS from the control.
  void onEditChange();
  void onSetFocus(bool byProgram);

 private:
  W32Form& form_;
  const ControlRow& row_;
  HWND hwnd_;
  std::string text_;
  int suppress_ = 0;
};

// A drop-down list of the drives, "C:" style.
class W32DriveList : public DriveListBox {
 public:
  W32DriveList(W32Form& form, HWND hwnd);
  std::string drive() const override { return drive_; }
  void setDrive(std::string_view spec) override;
  void onSelChange();

 private:
  void fill();
  W32Form& form_;
  HWND hwnd_;
  std::string drive_;
  std::vector<std::string> specs_;
};

// A folder list: the ancestors from the root, the folder itself, then its subfolders.
class W32DirList : public DirListBox {
 public:
  W32DirList(W32Form& form, HWND hwnd);
  std::string path() const override { return path_; }
  void setPath(std::string_view path) override;
  // Opens the selected entry (double-click or Enter).
  void openSelected();
  HWND hwnd() const { return hwnd_; }

 private:
  void fill(const std::vector<std::wstring>& subfolders);
  W32Form& form_;
  HWND hwnd_;
  std::string path_;
  std::vector<std::string> paths_;
};

// Code point positions in text and UTF-16 positions in the control, both ways.
int utf16Index(std::wstring_view text, int codePoints);
int codePointIndex(std::wstring_view text, int utf16);

}  // namespace qm::win32
