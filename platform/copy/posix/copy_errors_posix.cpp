// Narrows errno values to the error numbers a copy reports.
#include "copy_errors.h"

#include <cerrno>

#include "copy/report.h"
#include "copy/rules.h"
#include "errors.h"
#include "os/posix/error_numbers.h"

namespace qm::posix {

// The copy narrows the general mapping to the numbers its caller tells apart or the user
// can act on.
int copyErrorNumber(int code) {
  // The daemon of a FUSE volume is gone: the calls it had taken end with ECONNABORTED,
  // the later ones with ENOTCONN.
  if (code == ENOTCONN || code == ECONNABORTED) return err::kDeviceIo;
  return copy::copyNumber(errorNumberFromErrno(code));
}

int nameErrorNumber(int code) {
  switch (code) {
    case EINVAL:
    case ENAMETOOLONG:
    case EILSEQ: return err::kBadFileName;
    default: return copyErrorNumber(code);
  }
}

bool metadataRefused(int code) {
  switch (code) {
    case EPERM:
    case EACCES:
    case ENOSYS:
    case EOPNOTSUPP:
    case EINVAL:
    case ENOTTY:
    case ENODATA:
    case E2BIG:
    case ERANGE: return true;
    default: return false;
  }
}

void throwCopyError(int code, const std::string& path) {
  throwNumber(copyErrorNumber(code), path);
}

void throwSourceError(int code, const std::string& path) {
  throw copy::SourceError(copyErrorNumber(code), path);
}

void throwNumber(int number, const std::string& path) {
  throw RuntimeError(number, path);
}

}  // namespace qm::posix
