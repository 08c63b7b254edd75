// The layouts that qm_screens renders, by window name.
#pragma once

#include <string>
#include <vector>

#include "layout.h"

namespace qm::screens {

struct NamedLayout {
  std::string file;  // PNG name without extension
  const FormLayout* layout;
};

// The setup tool's windows (frmCopy, frmCopy1, frmCopy2), empty while it is not built.
std::vector<NamedLayout> setupToolLayouts();

}  // namespace qm::screens
