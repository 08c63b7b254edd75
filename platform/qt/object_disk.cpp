// The scripting object of this build: the disk file-system object.
#include "filesystem.h"
#include "qt_backend.h"

namespace qm::qt {

std::unique_ptr<FileSystemObject> makeDiskObject() { return createDiskFileSystemObject(); }

}  // namespace qm::qt
