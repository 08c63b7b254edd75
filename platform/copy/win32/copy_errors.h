// The error numbers a copy reports for Win32 error codes, and the throws that carry them.
#pragma once

#include <string>

namespace qm::win32 {

// The error number a copy step reports for Win32 error `code`: the general number narrowed
// to the ones the copy tool and its user tell apart. Permission, sharing, locks and write
// protection 70; disk full 61; device I/O, a drive not ready and a device gone 57; a file
// or folder that vanished 53; a name the volume refuses 52; anything else 75.
int copyErrorNumber(unsigned long code);

// Whether `code`, returned by a call that only sets metadata (times, attributes, streams)
// on something the copy has just written, means that the volume refuses or ignores that
// metadata rather than that the device failed. Such a failure never fails a copy. This
// includes ERROR_GEN_FAILURE, Wine's answer when a FUSE driver does not implement setting
// times or modes (ENOSYS); a failing device still fails the data calls around these.
bool isRefusedMetadata(unsigned long code);

// Throws the RuntimeError for Win32 error `code` on `path` (shown without the
// long-path prefix).
[[noreturn]] void throwCopyError(unsigned long code, const std::wstring& path);

// Throws the copy::SourceError for Win32 error `code` from reading the source entry
// `path`: the copy goes on without it.
[[noreturn]] void throwSourceError(unsigned long code, const std::wstring& path);

// Throws the RuntimeError with `number` on `path`.
[[noreturn]] void throwNumber(int number, const std::wstring& path);

}  // namespace qm::win32
