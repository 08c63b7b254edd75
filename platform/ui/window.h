// The base of every window module: its layout, its form, and the services it calls.
#pragma once

#include <memory>
#include <string_view>

#include "backend.h"
#include "controls.h"
#include "layout.h"

namespace qm {

class Window {
 public:
  Window(Backend& ui, const FormLayout& layout) : ui_(ui), layout_(layout) {}
  virtual ~Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // True while the window is loaded and not closed.
  bool isLoaded() const { return form_ && form_->isOpen(); }
  Form& form() { return *form_; }

 protected:
  // Creates the window's controls afresh from its layout, dropping an earlier instance.
  Form& createForm();
  // Closes (unloads) the window.
  void unload();

  Label& label(std::string_view name) { return form_->label(name); }
  CommandButton& button(std::string_view name) { return form_->button(name); }
  TextBox& textBox(std::string_view name) { return form_->textBox(name); }
  DriveListBox& driveList(std::string_view name) { return form_->driveList(name); }
  DirListBox& dirList(std::string_view name) { return form_->dirList(name); }

  // A modal message box; without a title it carries the application title.
  int MsgBox(std::string_view prompt, int buttons = mb::kOk);
  int MsgBox(std::string_view prompt, int buttons, std::string_view title);

  Backend& ui_;
  const FormLayout& layout_;

 private:
  std::unique_ptr<Form> form_;
};

}  // namespace qm
