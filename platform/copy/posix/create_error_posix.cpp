// Tells a name or entry kind the volume refuses from a folder that refuses us.
#include "create_error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "errors.h"
#include "copy_errors.h"
#include "temporaries.h"

namespace qm::posix {

namespace {

// Whether the folder `dirFd` accepts a new file under one of our temporary names.
bool folderTakesFiles(int dirFd) {
  const std::string name = temporaryName();
  const int fd =
      ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlinkat(dirFd, name.c_str(), 0);
  return true;
}

}  // namespace

int createErrorNumber(int dirFd, int code, int refusedNumber) {
  const bool ambiguous = code == EPERM || code == EACCES || code == ENOENT;
  if (ambiguous && dirFd >= 0 && folderTakesFiles(dirFd)) return refusedNumber;
  const int number = nameErrorNumber(code);
  return number == err::kBadFileName ? refusedNumber : number;
}

}  // namespace qm::posix
