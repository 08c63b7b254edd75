// The error numbers a copy reports for errno values, and the throws that carry them.
#pragma once

#include <string>

namespace qm::posix {

// The error number a copy reports for errno `code` from a data operation (open, create,
// read, write, flush, rename, remove): no permission or a read-only volume 70, disk full or
// quota 61, device I/O error or medium gone 57, a vanished file or folder 53, anything
// else 75.
int copyErrorNumber(int code);

// The number for errno `code` from a call that creates an entry under a name taken from the
// source: names the volume refuses (bad characters, too long, not representable) are 52,
// the rest as copyErrorNumber. FAT drivers answer EPERM, EACCES or ENOENT for some bad
// names too; only the caller can tell those from a real refusal (see createErrorNumber in
// the copy engine).
int nameErrorNumber(int code);

// Whether errno `code` from a call that only sets metadata (permission bits, owner, times,
// extended attributes, ACLs) means that the volume refuses or ignores that metadata. Such
// a failure never stops a copy; any other failure of the call does.
bool metadataRefused(int code);

// Throws the RuntimeError for errno `code` on `path`.
[[noreturn]] void throwCopyError(int code, const std::string& path);

// Throws the copy::SourceError for errno `code` from reading the source entry `path`: the
// copy goes on without it (and, where it vanished, 53, does not fail for it).
[[noreturn]] void throwSourceError(int code, const std::string& path);

// Throws the RuntimeError with the number `number` on `path`.
[[noreturn]] void throwNumber(int number, const std::string& path);

}  // namespace qm::posix
