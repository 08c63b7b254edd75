// No setup tool in this build: it contributes no windows to the screenshots.
#include "screens.h"

namespace qm::screens {

std::vector<NamedLayout> setupToolLayouts() {
  return {};
}

}  // namespace qm::screens
