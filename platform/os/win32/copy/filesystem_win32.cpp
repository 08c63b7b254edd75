// The file-system object on Windows: base names, and the checks that precede a folder copy.
#include <windows.h>

#include "base_name.h"
#include "errors.h"
#include "filesystem.h"
#include "error_numbers.h"
#include "copytree.h"
#include "longpath.h"
#include "wide.h"

namespace qm {
namespace {

using win32::throwCopyError;
using win32::throwNumber;

bool endsInSeparator(std::string_view p) { return !p.empty() && (p.back() == '\\' || p.back() == '/'); }

// Whether the last component of `destination` is made of dots and spaces only: "." and
// "..", and names such as "..." that Windows shortens to nothing. Such a destination is the
// folder above or the folder itself, so a copy there would land outside the place named.
bool endsInDotsOnly(std::string_view destination) {
  const std::size_t cut = destination.find_last_of("\\/:");
  const std::string_view last = cut == std::string_view::npos ? destination : destination.substr(cut + 1);
  return !last.empty() && last.find_first_not_of(". ") == std::string_view::npos;
}

// The last component of an absolute long path; empty for a drive root or share.
std::wstring lastComponent(const std::wstring& path) {
  const std::wstring plain = win32::plainPath(path);
  if (plain.size() <= 3 && plain.size() >= 2 && plain[1] == L':') return L"";
  const std::size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool isFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder that receives the source's contents. A destination ending in a separator
// is an existing folder that receives a copy named like the source.
std::wstring targetFolder(const std::wstring& from, std::string_view destination) {
  if (destination.empty()) throw RuntimeError(err::kPathNotFound, destination);
  if (endsInDotsOnly(destination)) throw RuntimeError(err::kPathFileAccess, destination);
  const std::wstring to = win32::longPath(win32::absolutePath(win32::widen(destination)));
  if (!endsInSeparator(destination)) return to;
  const DWORD attributes = attributesOf(to);
  if (attributes == INVALID_FILE_ATTRIBUTES) throw RuntimeError(err::kPathNotFound, destination);
  if (!isFolder(attributes)) throw RuntimeError(err::kFileExists, destination);
  const std::wstring name = lastComponent(from);
  if (name.empty()) throw RuntimeError(err::kPathFileAccess, destination);
  return (to.back() == L'\\' ? to : to + L"\\") + name;
}

// Creates the missing folders above `target`; a file in the way is 58.
void createParents(const std::wstring& target) {
  const std::wstring plain = win32::plainPath(target);
  // The first separator after the root: "C:\" or "\\server\share\".
  std::size_t start = target.size() - plain.size();
  if (plain.starts_with(L"\\\\")) {
    start = target.find(L'\\', target.find(L'\\', start + 2) + 1);
  } else {
    start = target.find(L'\\', start);
  }
  for (std::size_t sep = target.find(L'\\', start + 1); sep != std::wstring::npos;
       sep = target.find(L'\\', sep + 1)) {
    const std::wstring prefix = target.substr(0, sep);
    if (CreateDirectoryW(prefix.c_str(), nullptr)) continue;
    const DWORD code = GetLastError();
    const DWORD attributes = attributesOf(prefix);
    if (isFolder(attributes)) continue;
    if (attributes != INVALID_FILE_ATTRIBUTES) throwNumber(err::kFileExists, prefix);
    if (code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_DRIVE || code == ERROR_BAD_NETPATH ||
        code == ERROR_BAD_NET_NAME)
      throwNumber(err::kPathNotFound, prefix);
    throwCopyError(code, prefix);
  }
}

class DiskFileSystemObject : public FileSystemObject {
 public:
  std::string GetBaseName(std::string_view path) override { return platformBaseName(path); }

  // Everything is checked before the first write: the source must be a folder (76), the
  // destination no file (58), neither the source nor inside it and not named "." or ".."
  // (75), comparing final paths so that other spellings, short names and links are caught.
  void CopyFolder(std::string_view source, std::string_view destination, bool overwrite) override {
    if (source.empty()) throw RuntimeError(err::kPathNotFound, source);
    const std::wstring from = win32::longPath(win32::absolutePath(win32::widen(source)));
    if (!isFolder(attributesOf(from))) throw RuntimeError(err::kPathNotFound, source);
    const std::wstring to = targetFolder(from, destination);
    if (win32::isSameOrInside(win32::plannedFinalPath(to), win32::plannedFinalPath(from)))
      throwNumber(err::kPathFileAccess, to);
    const DWORD existing = attributesOf(to);
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY))
      throwNumber(err::kFileExists, to);
    if (existing == INVALID_FILE_ATTRIBUTES) createParents(to);
    win32::copyTree(from, to, overwrite);
  }
};

}  // namespace

// Progress counting is not done by this engine yet: the counters stay at zero.
std::unique_ptr<FileSystemObject> createDiskFileSystemObject(CopyProgress*) {
  return std::make_unique<DiskFileSystemObject>();
}

}  // namespace qm
