// The layouts that qm_screens renders, by window name.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/layout.h"

namespace qm::screens {

struct NamedLayout {
  std::string file;  // PNG name without extension
  const FormLayout* layout;
  // Puts sample content into the hidden window before it is shown; may be empty.
  std::function<void(Form&)> fill;
};

// The setup tool's windows (frmCopy, frmCopy1, frmCopy2), empty while it is not built.
std::vector<NamedLayout> setupToolLayouts();

}  // namespace qm::screens
