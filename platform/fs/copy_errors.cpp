// Error numbers of failed copy steps, narrowed from the general errno mapping.
#include "copy_errors.h"

#include "errors.h"

namespace qm::fs {

int copyErrorNumber(int code) {
  const int number = errorNumberFromErrno(code);
  switch (number) {
    case err::kPermissionDenied:
    case err::kDiskFull:
    case err::kDeviceIo:
    case err::kFileNotFound:
      return number;
    default:
      return err::kPathFileAccess;
  }
}

void throwCopyError(int code, const std::string& path) {
  throwNumber(copyErrorNumber(code), path);
}

void throwNumber(int number, const std::string& path) {
  throw RuntimeError(number, path);
}

}  // namespace qm::fs
