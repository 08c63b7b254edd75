// The recursive folder copy: files through a temporary name and a replacing rename.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "error_numbers.h"
#include "copytree.h"

namespace qm::win32 {
namespace {

// The attributes a copy carries over; the others belong to the file system.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kChunk = 1 << 20;

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  Handle() = default;
  explicit Handle(HANDLE handle) : h(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }
  bool valid() const { return h != INVALID_HANDLE_VALUE; }
  BOOL close() {
    if (!valid()) return TRUE;
    const BOOL ok = CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
    return ok;
  }
};

struct Entry {
  std::wstring name;
  DWORD attributes;
  FILETIME created, written;
  ULONGLONG size;
};

// The folder's entries, "." and ".." left out; a folder that vanished is 53.
std::vector<Entry> list(const std::wstring& folder) {
  std::vector<Entry> out;
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &d, FindExSearchNameMatch,
                              nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return out;
    throwCopyError(code, folder);
  }
  do {
    const std::wstring name = d.cFileName;
    if (name == L"." || name == L"..") continue;
    out.push_back({name, d.dwFileAttributes, d.ftCreationTime, d.ftLastWriteTime,
                   (ULONGLONG{d.nFileSizeHigh} << 32) | d.nFileSizeLow});
  } while (FindNextFileW(h, &d));
  const DWORD code = GetLastError();
  FindClose(h);
  if (code != ERROR_NO_MORE_FILES) throwCopyError(code, folder);
  return out;
}

bool sameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// A name of our own beside `target`, unique within this process and across processes.
std::wstring temporaryName(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  const std::size_t cut = target.rfind(L'\\');
  wchar_t tail[48];
  wsprintfW(tail, L"\\.qm-%lx-%x.tmp", GetCurrentProcessId(), counter++);
  return target.substr(0, cut) + tail;
}

// Writes the bytes of `from` to the new file `temp`, with `from`'s times, and flushes it.
void writeTemporary(const std::wstring& from, const std::wstring& temp, const Entry& e) {
  Handle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid()) throwCopyError(GetLastError(), from);
  // Hidden while it is unfinished; the rename's caller gives it the source's attributes.
  Handle out(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!out.valid()) throwCopyError(GetLastError(), temp);
  LARGE_INTEGER size;
  size.QuadPart = static_cast<LONGLONG>(e.size);
  // Reserving the length up front reports a full disk before any byte is written.
  if (e.size > 0 && (!SetFilePointerEx(out.h, size, nullptr, FILE_BEGIN) || !SetEndOfFile(out.h)))
    throwCopyError(GetLastError(), temp);
  LARGE_INTEGER zero{};
  SetFilePointerEx(out.h, zero, nullptr, FILE_BEGIN);
  const std::unique_ptr<char[]> buf(new char[kChunk]);
  ULONGLONG total = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in.h, buf.get(), kChunk, &got, nullptr)) throwCopyError(GetLastError(), from);
    if (got == 0) break;
    DWORD put = 0;
    if (!WriteFile(out.h, buf.get(), got, &put, nullptr) || put != got)
      throwCopyError(GetLastError(), temp);
    total += got;
  }
  // The source may have shrunk since it was listed; the copy holds what was read.
  if (total != e.size && !SetEndOfFile(out.h)) throwCopyError(GetLastError(), temp);
  if (!SetFileTime(out.h, &e.created, nullptr, &e.written)) throwCopyError(GetLastError(), temp);
  if (!FlushFileBuffers(out.h)) throwCopyError(GetLastError(), temp);
  if (!out.close()) throwCopyError(GetLastError(), temp);
}

// Removes the temporary file unless it has been renamed into place.
struct TemporaryFile {
  std::wstring path;
  bool placed = false;
  ~TemporaryFile() {
    if (placed) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
};

void copyFile(const std::wstring& from, const std::wstring& to, const Entry& e, bool overwrite) {
  WIN32_FILE_ATTRIBUTE_DATA old;
  const bool exists = GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &old);
  if (exists) {
    // A folder where the copy needs a file: neither a file that exists nor a missing path.
    if (old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throwNumber(err::kPathFileAccess, to);
    const ULONGLONG oldSize = (ULONGLONG{old.nFileSizeHigh} << 32) | old.nFileSizeLow;
    if (oldSize == e.size && sameTime(old.ftLastWriteTime, e.written) &&
        (old.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == (e.attributes & FILE_ATTRIBUTE_READONLY))
      return;
    if (!overwrite) throwNumber(err::kFileExists, to);
  }
  TemporaryFile temp{temporaryName(to)};
  writeTemporary(from, temp.path, e);
  // A read-only file from an earlier copy gives way to this one; should the rename fail,
  // it gets its attribute back.
  const bool wasReadOnly = exists && (old.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
  if (wasReadOnly && !SetFileAttributesW(to.c_str(), old.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY))
    throwCopyError(GetLastError(), to);
  if (!MoveFileExW(temp.path.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    if (wasReadOnly) SetFileAttributesW(to.c_str(), old.dwFileAttributes);
    throwCopyError(code, to);
  }
  temp.placed = true;
  const DWORD attributes = e.attributes & kKeptAttributes;
  if (!SetFileAttributesW(to.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL))
    throwCopyError(GetLastError(), to);
}

// Makes `folder` unless it is there; a file in its place is 58. Returns its attributes
// before the copy (0 when it was made).
DWORD prepareFolder(const std::wstring& folder) {
  if (CreateDirectoryW(folder.c_str(), nullptr)) return 0;
  const DWORD code = GetLastError();
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (code != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES)
    throwCopyError(code, folder);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) throwNumber(err::kFileExists, folder);
  // A read-only folder may refuse new entries on some systems: opened for the copy, the
  // source's attributes are set again at the end.
  if (attributes & FILE_ATTRIBUTE_READONLY)
    SetFileAttributesW(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  return attributes;
}

// Gives `folder` the source folder's times and attributes, once its contents are in place.
void finishFolder(const std::wstring& folder, DWORD attributes, const FILETIME& created,
                  const FILETIME& written) {
  Handle h(CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid() || !SetFileTime(h.h, &created, nullptr, &written)) throwCopyError(GetLastError(), folder);
  h.close();
  const DWORD kept = attributes & kKeptAttributes & ~FILE_ATTRIBUTE_ARCHIVE;
  if (!SetFileAttributesW(folder.c_str(), kept | FILE_ATTRIBUTE_DIRECTORY)) throwCopyError(GetLastError(), folder);
}

void copyFolder(const std::wstring& from, const std::wstring& to, const Entry& self, bool overwrite) {
  prepareFolder(to);
  for (const Entry& e : list(from)) {
    const std::wstring src = from + L"\\" + e.name, dst = to + L"\\" + e.name;
    if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A linked folder (junction, symbolic link) is not followed, so no cycle can form.
      if (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      copyFolder(src, dst, e, overwrite);
    } else {
      copyFile(src, dst, e, overwrite);
    }
  }
  finishFolder(to, self.attributes, self.created, self.written);
}

}  // namespace

void copyTree(const std::wstring& from, const std::wstring& to, bool overwrite) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(from.c_str(), GetFileExInfoStandard, &d)) throwCopyError(GetLastError(), from);
  const Entry self{L"", d.dwFileAttributes, d.ftCreationTime, d.ftLastWriteTime, 0};
  copyFolder(from, to, self, overwrite);
}

}  // namespace qm::win32
