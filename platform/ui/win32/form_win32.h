// A Win32 top-level window built from a layout table, and its message handling.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "controls.h"
#include "controls_win32.h"
#include "layout.h"

namespace qm::win32 {

class Win32Backend;

class W32Form : public Form {
 public:
  W32Form(Win32Backend& backend, const FormLayout& layout);
  ~W32Form() override;

  Label& label(std::string_view name) override;
  CommandButton& button(std::string_view name) override;
  TextBox& textBox(std::string_view name) override;
  DriveListBox& driveList(std::string_view name) override;
  DirListBox& dirList(std::string_view name) override;
  void show() override;
  void close() override;
  bool isOpen() const override { return open_; }
  void setFocus(std::string_view name) override;

  HWND hwnd() const { return hwnd_; }
  // The handle of a control, or nullptr.
  HWND control(std::string_view name) const {
    auto it = handles_.find(name);
    return it == handles_.end() ? nullptr : it->second;
  }
  Win32Backend& backend() { return backend_; }
  // Keys the dialog manager would take otherwise (Enter on the folder list).
  bool preTranslate(const MSG& msg);
  LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // The handle is gone (DestroyWindow by anyone).
  void destroyed();

 private:
  void createWindow();
  void createControls();
  HWND createChild(const ControlRow& row, int id);
  void addToolTip(HWND child, std::string_view text);
  void onMouseMove(WPARAM wParam, LPARAM lParam);
  LRESULT defaultButtonId() const;

  Win32Backend& backend_;
  const FormLayout& layout_;
  HWND hwnd_ = nullptr;
  HWND toolTip_ = nullptr;
  bool open_ = true;
  bool shown_ = false;
  bool programFocus_ = false;
  std::map<std::string, HWND, std::less<>> handles_;
  std::map<int, std::function<void(WORD)>> commands_;
  std::map<std::string, std::unique_ptr<W32Label>, std::less<>> labels_;
  std::map<std::string, std::unique_ptr<W32Button>, std::less<>> buttons_;
  std::map<std::string, std::unique_ptr<W32TextBox>, std::less<>> textBoxes_;
  std::map<std::string, std::unique_ptr<W32DriveList>, std::less<>> drives_;
  std::map<std::string, std::unique_ptr<W32DirList>, std::less<>> dirs_;
};

}  // namespace qm::win32
