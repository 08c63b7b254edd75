// The scripting object where this build has no file-system engine: it cannot be made.
#include "errors.h"
#include "filesystem.h"
#include "qt_backend.h"

namespace qm::qt {

std::unique_ptr<FileSystemObject> makeDiskObject() {
  throw RuntimeError(err::kCannotCreateObject, kFileSystemObjectId);
}

}  // namespace qm::qt
