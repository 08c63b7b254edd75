// Win32 error codes as run-time error numbers.
#include <windows.h>

#include "error_numbers.h"
#include "errors.h"

namespace qm::win32 {
namespace {

// ERROR_DISK_QUOTA_EXCEEDED, which the MinGW headers do not name.
constexpr unsigned long kDiskQuotaExceeded = 1295;

}  // namespace

int errorNumberFromWin32(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return err::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: return err::kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_USER_MAPPED_FILE: return err::kPermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded:
    case ERROR_FILE_TOO_LARGE: return err::kDiskFull;
    case ERROR_NOT_READY:
    case ERROR_NO_MEDIA_IN_DRIVE: return err::kDiskNotReady;
    case ERROR_INVALID_DRIVE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return err::kDeviceUnavailable;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return err::kFileExists;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return err::kBadFileName;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_SEEK:
    case ERROR_IO_DEVICE:
    case ERROR_UNRECOGNIZED_MEDIA: return err::kDeviceIo;
    default: return err::kPathFileAccess;
  }
}

}  // namespace qm::win32
