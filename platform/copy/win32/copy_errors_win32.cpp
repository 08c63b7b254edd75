// Narrows Win32 error codes to the error numbers a copy reports.
#include <windows.h>

#include "copy_errors.h"
#include "copy/report.h"
#include "copy/rules.h"
#include "errors.h"
#include "os/win32/error_numbers.h"
#include "os/win32/longpath.h"
#include "os/win32/wide.h"

namespace qm::win32 {

int copyErrorNumber(unsigned long code) {
  // During a copy a missing path is something that vanished, and "the directory name is
  // invalid" answers a name, not a path the user could fix in the setup tool.
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return err::kFileNotFound;
  if (code == ERROR_DIRECTORY) return err::kBadFileName;
  return copy::copyNumber(errorNumberFromWin32(code));
}

bool isRefusedMetadata(unsigned long code) {
  switch (code) {
    // Some drivers fail the call and leave no code at all.
    case ERROR_SUCCESS:
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME:
    // The file or folder was just written (or is the copy's own folder): a denial here
    // is about the metadata (owner-only times, a foreign folder), not the data.
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
    // What Wine makes of a FUSE driver that does not implement the call (ENOSYS).
    case ERROR_GEN_FAILURE: return true;
    default: return false;
  }
}

void throwCopyError(unsigned long code, const std::wstring& path) {
  throwNumber(copyErrorNumber(code), path);
}

void throwSourceError(unsigned long code, const std::wstring& path) {
  throw copy::SourceError(copyErrorNumber(code), narrow(plainPath(path)));
}

void throwNumber(int number, const std::wstring& path) {
  throw RuntimeError(number, narrow(plainPath(path)));
}

}  // namespace qm::win32
