// The form every toolkit shares: control table, lookup, first focus and GotFocus.
#include "form_core.h"

#include <algorithm>
#include <vector>

#include "errors.h"
#include "form_rules.h"

namespace qm {

FormCore::FormCore(Backend& backend, const FormLayout& layout)
    : backend_(backend), layout_(layout) {}

void FormCore::buildControls(
    const std::function<std::unique_ptr<Control>(const ControlRow&)>& make) {
  std::vector<const ControlRow*> rows;
  for (const ControlRow& row : layout_.controls) rows.push_back(&row);
  std::stable_sort(rows.begin(), rows.end(), [](const ControlRow* a, const ControlRow* b) {
    return a->tabIndex < b->tabIndex;
  });
  for (const ControlRow* row : rows) controls_[std::string(row->name)] = make(*row);
}

Control* FormCore::find(std::string_view name) const {
  auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second.get();
}

void FormCore::throwInvalidName(std::string_view name) {
  throw RuntimeError(err::kInvalidCall, name);
}

void FormCore::show() {
  if (!open_) return;
  showWindow(shown_);
  if (shown_) return;
  shown_ = true;
  backend_.lastRun().windowShown();
  if (const ControlRow* first = firstFocus(layout_)) setFocus(first->name);
}

void FormCore::setFocus(std::string_view name) {
  const ControlRow* row = findControl(layout_, name);
  if (!row || row->type == ControlType::Label) throwInvalidName(name);
  programFocus_ = true;
  try {
    moveFocus(name);
  } catch (...) {
    programFocus_ = false;
    throw;
  }
  programFocus_ = false;
  if (focused_ == name) return;
  focused_ = name;
  if (auto* box = dynamic_cast<TextBox*>(find(name)); box && box->GotFocus) box->GotFocus();
}

void FormCore::focusArrived(std::string_view name) {
  if (programFocus_ || focused_ == name) return;
  focused_ = name;
  auto* box = dynamic_cast<TextBox*>(find(name));
  if (!box) return;
  backend_.dispatch([box] {
    if (box->GotFocus) box->GotFocus();
  });
}

void FormCore::markClosed() {
  open_ = false;
  shown_ = false;
}

}  // namespace qm
