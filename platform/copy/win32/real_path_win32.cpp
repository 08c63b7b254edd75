// Where a path's root ends, and whether a destination lies inside the source.
#include "real_path.h"

#include <algorithm>

#include "listing.h"
#include "errors.h"
#include "copy_errors.h"
#include "os/win32/longpath.h"

namespace qm::win32 {
namespace {

bool identify(const std::wstring& path, FileId& id) {
  Handle h = openFollowing(path);
  Entry unused;
  return h.valid() && describe(h.get(), id, unused);
}

// Whether `path` or one of its existing ancestors is the file `id`.
bool reachesThrough(std::wstring path, const FileId& id) {
  const std::size_t root = rootLength(path);
  for (;;) {
    FileId here;
    if (identify(path.size() > root ? path : path.substr(0, root) + L"\\", here) && here == id)
      return true;
    const std::size_t cut = path.rfind(L'\\');
    if (path.size() <= root || cut == std::wstring::npos || cut < root) return false;
    path.resize(cut);
  }
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
  FileId source;
  if (!identify(from, source)) throwCopyError(GetLastError(), from);
  if (reachesThrough(to, source) || reachesThrough(plannedFinalPath(to), source))
    throwNumber(err::kPathFileAccess, to);
}

}  // namespace qm::win32
