// Maps errno values from POSIX file operations to run-time error numbers.
#include "error_numbers.h"

#include <cerrno>

#include "errors.h"

namespace qm {

int errorNumberFromErrno(int code) {
  switch (code) {
    case ENOENT: return err::kFileNotFound;
    case ENOTDIR: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return err::kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return err::kDiskFull;
    case EIO: return err::kDeviceIo;
    case EEXIST:
    case EISDIR: return err::kFileExists;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return err::kDeviceUnavailable;
    case ENAMETOOLONG: return err::kBadFileName;
    default: return err::kPathFileAccess;
  }
}

}  // namespace qm
