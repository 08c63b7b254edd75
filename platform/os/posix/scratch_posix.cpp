// Scratch files on POSIX: an unnamed file in the temporary folder.
#include "os/scratch.h"

namespace qm {

std::FILE* openScratchFile() {
  return std::tmpfile();
}

}  // namespace qm
