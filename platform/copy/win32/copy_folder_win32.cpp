// The folder copy on Windows: the checks that precede it, then the copy of the tree.
#include <windows.h>

#include <algorithm>

#include "copy/pipeline.h"
#include "errors.h"
#include "create_error.h"
#include "listing.h"
#include "copy/copy_folder.h"
#include "copy_errors.h"
#include "os/win32/longpath.h"
#include "os/win32/wide.h"
#include "real_path.h"
#include "system.h"

namespace qm {

// Links are followed on Windows, as Explorer copies them (see options.h).
const Links kSystemLinks = Links::Follow;

namespace {

using win32::refuseCopyIntoItself;
using win32::rootLength;
using win32::throwCopyError;
using win32::throwNumber;

bool endsInSeparator(std::string_view p) {
  return !p.empty() && (p.back() == '\\' || p.back() == '/');
}

// Whether the last component of `destination` is made of dots and spaces only: "." and
// "..", and names such as "..." that Windows shortens to nothing. Such a destination is the
// folder above or the folder itself, so a copy there would land outside the place named.
bool endsInDotsOnly(std::string_view destination) {
  const std::size_t cut = destination.find_last_of("\\/:");
  const std::string_view last =
      cut == std::string_view::npos ? destination : destination.substr(cut + 1);
  return !last.empty() && last.find_first_not_of(". ") == std::string_view::npos;
}

// The last component of an absolute long path; empty for a drive root or share.
std::wstring lastComponent(const std::wstring& path) {
  if (path.size() <= rootLength(path) + 1) return L"";
  return path.substr(path.rfind(L'\\') + 1);
}

DWORD attributesOf(const std::wstring& path) {
  return GetFileAttributesW(path.c_str());
}

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

// A destination on a drive letter or share that does not exist is 76, like a missing path.
void requireVolume(const std::wstring& to) {
  const std::wstring root = win32::plainPath(to.substr(0, rootLength(to))) + L"\\";
  if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR) throwNumber(err::kPathNotFound, to);
}

// The folder `target` is made by the copy, and no folder above it: a stick that is not
// plugged in, or a mistyped destination, is 76 and gets no copy in the wrong place. A file
// in the way is 58.
void requireParent(const std::wstring& target) {
  const std::size_t sep = target.rfind(L'\\');
  // A folder right below a drive's root or a share: requireVolume has found the volume,
  // and the root without its separator ("\\?\F:") names the device, not its folder.
  if (sep == std::wstring::npos || sep <= rootLength(target)) return;
  const std::wstring parent = target.substr(0, sep);
  // The nearest folder above that exists: a file there is in the way.
  for (std::wstring at = parent;;) {
    const DWORD attributes = attributesOf(at);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (!isFolder(attributes)) throwNumber(err::kFileExists, at);
      if (at == parent) return;
      break;
    }
    const std::size_t up = at.rfind(L'\\');
    if (up == std::wstring::npos || up <= rootLength(at)) break;
    at.resize(up);
  }
  throwNumber(err::kPathNotFound, parent);
}

// What no folder of the copy from `from` into `to` may lead into.
win32::CopyBounds boundsOf(const std::wstring& from, const std::wstring& to) {
  win32::CopyBounds bounds{L"", win32::plannedFinalPath(to), std::nullopt};
  win32::Handle source = win32::openTarget(from, 0);
  bounds.sourceFinal = win32::finalPathOf(source.get());
  win32::Handle destination = win32::openFollowing(to);
  win32::FileId id;
  win32::Entry unused;
  if (destination.valid() && win32::describe(destination.get(), id, unused))
    bounds.destinationId = id;
  return bounds;
}

}  // namespace

// Everything is checked before the first write: the source must be a folder (76), the
// destination's drive must exist (76), the destination no file (58), neither the source
// nor inside it and not named "." or ".." (75).
namespace copy {

void copyFolderOrThrow(std::string_view source, std::string_view destination,
                       const CopyOptions& options) {
  if (source.empty()) throw RuntimeError(err::kPathNotFound, source);
  const std::wstring from = win32::longPath(win32::absolutePath(win32::widen(source)));
  if (!isFolder(attributesOf(from))) throw RuntimeError(err::kPathNotFound, source);
  const std::wstring to = targetFolder(from, destination);
  requireVolume(to);
  refuseCopyIntoItself(from, to);
  const DWORD existing = attributesOf(to);
  if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY))
    throwNumber(err::kFileExists, to);
  if (existing == INVALID_FILE_ATTRIBUTES) requireParent(to);
  win32::CopySystem system(options, boundsOf(from, to));
  Pipeline<win32::CopySystem>(system, options).run([&](win32::DirNode& top) {
    openTopNode(top, system.bounds(), from, to);
    system.keepTop(top);
  });
}

}  // namespace copy
}  // namespace qm
