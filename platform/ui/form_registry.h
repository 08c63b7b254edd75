// The windows a toolkit backend has made, oldest first, and which of them is in front.
#pragma once

#include <algorithm>
#include <vector>

namespace qm {

// Holds the toolkit's own form objects (`FormT` has isOpen()); they add and remove
// themselves as they are made and destroyed.
template <typename FormT>
class FormRegistry {
 public:
  void add(FormT* form) { forms_.push_back(form); }
  void remove(FormT* form) { std::erase(forms_, form); }
  // Every form made and not yet destroyed, open or not.
  const std::vector<FormT*>& all() const { return forms_; }

  // The open forms, oldest first.
  std::vector<FormT*> open() const {
    std::vector<FormT*> result;
    for (FormT* form : forms_)
      if (form->isOpen()) result.push_back(form);
    return result;
  }

  // The window in front: the open one that `isActive` is true of, else the newest open one
  // that `isVisible` is true of; or nullptr.
  template <typename Active, typename Visible>
  FormT* front(Active isActive, Visible isVisible) const {
    const std::vector<FormT*> shown = open();
    const auto active = std::find_if(shown.begin(), shown.end(), isActive);
    if (active != shown.end()) return *active;
    const auto visible = std::find_if(shown.rbegin(), shown.rend(), isVisible);
    return visible != shown.rend() ? *visible : nullptr;
  }

 private:
  std::vector<FormT*> forms_;
};

}  // namespace qm
