// The form every toolkit shares: the control table, lookup by name, first focus and
// GotFocus; a toolkit adds how it shows the window and moves the focus.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "backend.h"
#include "controls.h"
#include "layout.h"

namespace qm {

class FormCore : public Form {
 public:
  Label& label(std::string_view name) final { return control<Label>(name); }
  CommandButton& button(std::string_view name) final { return control<CommandButton>(name); }
  TextBox& textBox(std::string_view name) final { return control<TextBox>(name); }
  DriveListBox& driveList(std::string_view name) final { return control<DriveListBox>(name); }
  DirListBox& dirList(std::string_view name) final { return control<DirListBox>(name); }

  // Shows the window; the first time, the last copy run waiting for a window shows on it
  // (see last_run_keeper.h) and the first control in tab order takes the focus.
  void show() final;
  bool isOpen() const final { return open_; }
  bool shown() const { return shown_; }
  // A program move of the focus raises GotFocus directly, so that its errors reach the
  // caller; a label takes no focus (error 5).
  void setFocus(std::string_view name) final;

  const FormLayout& layout() const { return layout_; }
  // The control that took the focus last, by the program or the user; empty at first.
  const std::string& focused() const { return focused_; }

  // A control as its toolkit made it; error 5 when there is none of that name and kind.
  template <class T>
  T& control(std::string_view name) const {
    T* found = dynamic_cast<T*>(find(name));
    if (!found) throwInvalidName(name);
    return *found;
  }

 protected:
  FormCore(Backend& backend, const FormLayout& layout);

  // Makes the control of every row, in tab order (the toolkits chain the focus in the
  // order of creation).
  void buildControls(const std::function<std::unique_ptr<Control>(const ControlRow&)>& make);
  // The user moved the focus to a control: GotFocus through the dispatcher, once.
  void focusArrived(std::string_view name);
  // The window was closed, by the program or by its frame.
  void markClosed();

  // Shows the window; `again`: it was shown before and only comes to the front.
  virtual void showWindow(bool again) = 0;
  // Gives the toolkit's focus to a control.
  virtual void moveFocus(std::string_view name) = 0;

  Backend& backend_;

 private:
  Control* find(std::string_view name) const;
  [[noreturn]] static void throwInvalidName(std::string_view name);

  const FormLayout& layout_;
  std::map<std::string, std::unique_ptr<Control>, std::less<>> controls_;
  std::string focused_;
  bool open_ = true;
  bool shown_ = false;
  bool programFocus_ = false;
};

}  // namespace qm
