// The file-system object on Windows: base names and recursive folder copies with overwrite.
#include <windows.h>

#include "errors.h"
#include "filesystem.h"
#include "win32/wide.h"

namespace qm {
namespace {

[[noreturn]] void fail(const std::wstring& path) {
  throw RuntimeError(win32::errorNumberFromWin32(GetLastError()), win32::narrow(path));
}

std::wstring fullPath(const std::wstring& path) {
  wchar_t buf[MAX_PATH * 2];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buf, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) throw RuntimeError(err::kBadFileName, win32::narrow(path));
  std::wstring out(buf, n);
  while (out.size() > 3 && out.back() == L'\\') out.pop_back();
  return out;
}

bool isFolder(const std::wstring& path) {
  const DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes `folder` unless it exists; its parent must exist (76 otherwise).
void makeFolder(const std::wstring& folder) {
  if (CreateDirectoryW(folder.c_str(), nullptr)) return;
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS && isFolder(folder)) return;
  if (code == ERROR_ALREADY_EXISTS) throw RuntimeError(err::kFileExists, win32::narrow(folder));
  SetLastError(code);
  fail(folder);
}

void copyTree(const std::wstring& from, const std::wstring& to, bool overwrite) {
  makeFolder(to);
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((from + L"\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return;
    fail(from);
  }
  struct Closer {
    HANDLE h;
    ~Closer() { FindClose(h); }
  } closer{h};
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring src = from + L"\\" + name, dst = to + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      copyTree(src, dst, overwrite);
      continue;
    }
    // Windows' CopyFile refuses to overwrite a read-only file; checked here so that
    // every system (Wine included) reports it alike, as permission denied.
    const DWORD existing = GetFileAttributesW(dst.c_str());
    if (overwrite && existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY))
      throw RuntimeError(err::kPermissionDenied, win32::narrow(dst));
    if (!CopyFileW(src.c_str(), dst.c_str(), overwrite ? FALSE : TRUE)) fail(dst);
  } while (FindNextFileW(h, &data));
}

class DiskFileSystemObject : public FileSystemObject {
 public:
  // Trailing separators are ignored; a drive root has an empty base name.
  std::string GetBaseName(std::string_view path) override {
    std::string_view p = path;
    while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.remove_suffix(1);
    const std::size_t cut = p.find_last_of("\\/:");
    if (cut != std::string_view::npos) p.remove_prefix(cut + 1);
    const std::size_t dot = p.rfind('.');
    return std::string(dot == std::string_view::npos ? p : p.substr(0, dot));
  }

  // The source's contents land in the destination, which is made if missing; a
  // destination inside the source is refused, since the copy would never end.
  void CopyFolder(std::string_view source, std::string_view destination, bool overwrite) override {
    const std::wstring from = fullPath(win32::widen(source));
    const std::wstring to = fullPath(win32::widen(destination));
    if (!isFolder(from)) throw RuntimeError(err::kPathNotFound, source);
    const std::wstring prefix = from.back() == L'\\' ? from : from + L"\\";
    if (lstrcmpiW(from.c_str(), to.c_str()) == 0 ||
        (to.size() > prefix.size() && CompareStringOrdinal(to.c_str(), static_cast<int>(prefix.size()),
                                                           prefix.c_str(), static_cast<int>(prefix.size()),
                                                           TRUE) == CSTR_EQUAL))
      throw RuntimeError(err::kInvalidCall, destination);
    copyTree(from, to, overwrite);
  }
};

}  // namespace

std::unique_ptr<FileSystemObject> createDiskFileSystemObject() {
  return std::make_unique<DiskFileSystemObject>();
}

}  // namespace qm
