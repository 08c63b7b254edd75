// The setup tool's windows for the screenshots (compiled when qm_setuptool exists).
#include "screens.h"

namespace qm::screens {

// Hook for the setup tool: include its window headers above and list each window's
// layout here, for instance {"frmCopy", &frmCopyLayout()}, {"frmCopy1", ...},
// {"frmCopy2", ...}. Each one is rendered to <file>.png.
std::vector<NamedLayout> setupToolLayouts() { return {}; }

}  // namespace qm::screens
