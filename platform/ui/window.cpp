// The base of every window module.
#include "window.h"

namespace qm {

Form& Window::createForm() {
  form_.reset();
  form_ = ui_.createForm(layout_);
  return *form_;
}

void Window::unload() {
  if (form_) form_->close();
}

int Window::MsgBox(std::string_view prompt, int buttons) {
  return ui_.messageBox(prompt, buttons, ui_.appTitle());
}

int Window::MsgBox(std::string_view prompt, int buttons, std::string_view title) {
  return ui_.messageBox(prompt, buttons, title);
}

}  // namespace qm
