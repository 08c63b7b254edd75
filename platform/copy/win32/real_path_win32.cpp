// Where a path's root ends, and whether a destination lies inside the source.
#include "real_path.h"

#include <algorithm>
#include <optional>

#include "copy/into_itself.h"
#include "listing.h"
#include "errors.h"
#include "copy_errors.h"
#include "os/win32/longpath.h"

namespace qm::win32 {
namespace {

// What `path` names, following links; nothing where nothing is there. A root is asked
// for with its separator ("C:\\").
std::optional<FileId> identity(const std::wstring& path) {
  const std::size_t root = rootLength(path);
  Handle h = openFollowing(path.size() > root ? path : path.substr(0, root) + L"\\");
  FileId id;
  Entry unused;
  if (!h.valid() || !describe(h.get(), id, unused)) return std::nullopt;
  return id;
}

// The folder above `path`; nothing at its root.
std::optional<std::wstring> parentPath(const std::wstring& path) {
  const std::size_t root = rootLength(path);
  const std::size_t cut = path.rfind(L'\\');
  if (path.size() <= root || cut == std::wstring::npos || cut < root) return std::nullopt;
  return path.substr(0, cut);
}

}  // namespace

// The length of the root of an absolute long path: "\\?\C:" or "\\?\UNC\server\share".
std::size_t rootLength(const std::wstring& path) {
  const std::wstring plain = plainPath(path);
  const std::size_t start = path.size() - plain.size();
  if (!plain.starts_with(L"\\\\")) return std::min(path.size(), start + 2);
  const std::size_t share = path.find(L'\\', path.find(L'\\', start + 2) + 1);
  const std::size_t end = path.find(L'\\', share == std::wstring::npos ? path.size() : share + 1);
  return end == std::wstring::npos ? path.size() : end;
}

// A destination that is the source or inside it, by file identity along the destination's
// existing ancestors as spelled and as resolved: other spellings, short names, links,
// mounted folders and bind mounts are all caught.
void refuseCopyIntoItself(const std::wstring& from, const std::wstring& to) {
  const std::optional<FileId> source = identity(from);
  if (!source) throwCopyError(GetLastError(), from);
  if (copy::isCopyIntoItself(to, plannedFinalPath(to), *source, identity, parentPath))
    throwNumber(err::kPathFileAccess, to);
}

}  // namespace qm::win32
