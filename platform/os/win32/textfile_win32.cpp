// Whole-file reads and the replacement of files with the Win32 file API.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "error_numbers.h"
#include "errors.h"
#include "handle.h"
#include "os/run.h"
#include "os/textfile.h"
#include "tempname.h"
#include "wide.h"

namespace qm {
namespace {

[[noreturn]] void fail(const std::string& path) {
  throw RuntimeError(win32::errorNumberFromWin32(GetLastError()), path);
}

using win32::Handle;

void writeAll(HANDLE h, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 1u << 20 ? 1u << 20 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr)) fail(path);
    bytes.remove_prefix(written);
  }
}

// What the user may have set on the file that the replacement takes over.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The file a save replaces: `path` itself, or the file a symbolic link at it ends at,
// so that the link the user made stays a link.
std::wstring resolveLink(const std::wstring& path) {
  const DWORD attrs = GetFileAttributesW(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  const Handle file(CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return path;
  std::wstring final(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(file.get(), final.data(),
                                              static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
    if (n == 0) return path;
    if (n < final.size()) return final.substr(0, n);
    final.resize(n);
  }
}

long long secondsSince(const FILETIME& then) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  auto ticks = [](const FILETIME& t) {
    return static_cast<long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
  };
  return (ticks(now) - ticks(then)) / 10000000;
}

// Removes the temporary files of `name` that a killed save left behind: those whose
// process has ended, and any older than a save could ever take. A temporary file that
// a running save holds open cannot be deleted (it is opened without sharing).
void removeStaleTemporaries(const std::wstring& folder, const std::string& name) {
  WIN32_FIND_DATAW found;
  const std::wstring pattern = folder + L"\\" + win32::widen(name) + L".*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::optional<TemporaryOwner> writer =
        temporaryOwnerBeside(name, win32::narrow(found.cFileName));
    if (!writer) continue;
    if (os::runEnded(*writer) || secondsSince(found.ftLastWriteTime) > kStaleTemporarySeconds)
      DeleteFileW((folder + L"\\" + found.cFileName).c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

// A new temporary file beside the target, named after this process, with `attributes`;
// an invalid handle when none can be made there.
HANDLE createTemporary(const std::wstring& folder, const std::string& name, DWORD attributes,
                       std::wstring& temp) {
  static std::atomic<std::uint64_t> counter{0};
  for (int attempt = 0;; ++attempt) {
    temp = folder + L"\\" + win32::widen(temporaryNameBeside(name, os::thisRun(), ++counter));
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS || attempt == 100)
      return h;
  }
}

// Where no temporary file can be made beside the file (its folder takes no new file)
// but the file itself is writable: the new bytes go over the old from the start, then
// the length is cut, so that a save cut short leaves the new records at the start.
void writeInPlace(const std::wstring& target, std::string_view bytes, const std::string& path) {
  Handle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) fail(path);
  if (GetFileType(file.get()) != FILE_TYPE_DISK) throw RuntimeError(err::kPathFileAccess, path);
  writeAll(file.get(), bytes, path);
  if (!SetEndOfFile(file.get()) || !FlushFileBuffers(file.get())) fail(path);
  if (!CloseHandle(file.release())) fail(path);
}

}  // namespace

// Only a file on a disk is read (a pipe or a device could block the read or never end),
// and never past the cap.
std::string readWholeFile(const std::string& path) {
  Handle file(CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) fail(path);
  LARGE_INTEGER size;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
      size.QuadPart > static_cast<LONGLONG>(kMaxTextFileSize))
    throw RuntimeError(err::kPathFileAccess, path);
  // The size can change under the read; the cap holds whatever the file does meanwhile.
  std::string out(kMaxTextFileSize + 1, '\0');
  std::size_t used = 0;
  while (used < out.size()) {
    DWORD n = 0;
    if (!ReadFile(file.get(), out.data() + used, static_cast<DWORD>(out.size() - used), &n,
                  nullptr))
      fail(path);
    if (n == 0) break;
    used += n;
  }
  if (used > kMaxTextFileSize) throw RuntimeError(err::kPathFileAccess, path);
  out.resize(used);
  return out;
}

namespace {

// The replacement of the file at `target` through a temporary file beside it (so that the
// rename stays on one volume), with
// `attributes` where it is new; where none can be made, `inPlace` (if any) writes over
// the file itself.
void replaceThroughTemporary(const std::wstring& target, const std::string& path, DWORD attributes,
                             const std::function<void(const PieceSink&)>& produce,
                             const std::string_view* inPlace) {
  const std::size_t slash = target.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash);
  const std::string name = win32::narrow(target.substr(slash + 1));
  removeStaleTemporaries(folder, name);
  const DWORD old = GetFileAttributesW(target.c_str());
  const bool exists = old != INVALID_FILE_ATTRIBUTES && !(old & FILE_ATTRIBUTE_DIRECTORY);
  std::wstring temp;
  Handle file(createTemporary(folder, name, exists ? old & kKeptAttributes : attributes, temp));
  if (!file.valid()) {
    if (exists && inPlace) return writeInPlace(target, *inPlace, path);
    fail(path);
  }
  try {
    produce([&](std::string_view piece) { writeAll(file.get(), piece, path); });
    if (!FlushFileBuffers(file.get())) fail(path);
    if (!CloseHandle(file.release())) fail(path);
    if (!MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      fail(path);
  } catch (...) {
    if (file.valid()) CloseHandle(file.release());
    DeleteFileW(temp.c_str());
    throw;
  }
}

}  // namespace

void replaceFileAtomically(const std::string& path, std::string_view bytes) {
  replaceThroughTemporary(
      resolveLink(win32::widen(path)), path, 0, [&](const PieceSink& out) { out(bytes); }, &bytes);
}

// A link at `path` is replaced, never followed: what a volume holds under the name does
// not lead the write elsewhere.
void replaceFileInPieces(const std::string& path,
                         const std::function<void(const PieceSink&)>& produce, bool hidden) {
  replaceThroughTemporary(win32::widen(path), path, hidden ? FILE_ATTRIBUTE_HIDDEN : 0, produce,
                          nullptr);
}

bool readFileInPieces(const std::string& path, const PieceSink& take) {
  Handle file(CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                          nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    fail(path);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  char buffer[1 << 16];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) fail(path);
    if (n == 0) return true;
    take(std::string_view(buffer, n));
  }
}

bool fileExists(const std::string& path) {
  std::wstring wide;
  try {
    wide = win32::widen(path);
  } catch (const RuntimeError&) {
    return false;
  }
  const DWORD attrs = GetFileAttributesW(wide.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace qm
