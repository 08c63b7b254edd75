// Look-ups in layout tables.
#include "layout.h"

namespace qm {

const ControlRow* findControl(const FormLayout& layout, std::string_view name) {
  for (const ControlRow& row : layout.controls)
    if (row.name == name) return &row;
  return nullptr;
}

}  // namespace qm
