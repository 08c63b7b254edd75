// The source tree walked without recursion, links followed and refused where they loop.
#include <windows.h>

#include "errors.h"
#include "os/win32/error_numbers.h"
#include "os/win32/longpath.h"
#include "walk.h"

namespace qm::win32 {
namespace {

bool overlap(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && !b.empty() && (isSameOrInside(a, b) || isSameOrInside(b, a));
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  return isSameOrInside(a, b) && isSameOrInside(b, a);
}

struct Walk {
  std::wstring sourceFinal, destinationFinal;
  std::optional<FileId> destinationId;
  CopyProgress* progress;
  std::vector<PlannedFolder> folders;
};

// Opens what the entry `path` leads to. A missing target (a dangling link, or a file
// that vanished) is 53.
Handle openTarget(const std::wstring& path, DWORD access) {
  Handle h = openFollowing(path, access);
  if (!h.valid()) {
    const DWORD code = GetLastError();
    if (code == ERROR_CANT_RESOLVE_FILENAME)
      throwNumber(err::kPathFileAccess, path);  // a link loop
    throwCopyError(code, path);
  }
  return h;
}

// Refuses the link `path` (in a folder whose final path is `folderFinal`) when what it
// leads to overlaps the source or the destination. A reparse point that is not a link
// (its final path is its own) passes.
void checkLink(const Walk& w, HANDLE target, const std::wstring& folderFinal,
               const std::wstring& name, const std::wstring& path) {
  const std::wstring resolved = finalPathOf(target);
  if (resolved.empty() || folderFinal.empty() || samePath(resolved, folderFinal + L"\\" + name))
    return;
  if (overlap(resolved, w.sourceFinal) || overlap(resolved, w.destinationFinal))
    throwNumber(err::kPathFileAccess, path);
}

// Lists the folder `index`, refusing it when it is one of its own ancestors or the
// destination, and queues the folders inside it on `pending`.
void visit(Walk& w, std::size_t index, std::vector<PlannedFolder>& pending) {
  PlannedFolder& f = w.folders[index];
  Handle h = openTarget(f.source, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
  if (!describe(h.get(), f.id, f.self)) throwCopyError(GetLastError(), f.source);
  for (std::size_t a = index; a != 0;) {
    a = w.folders[a].parent;
    if (w.folders[a].id == f.id) throwNumber(err::kPathFileAccess, f.source);
  }
  if (w.destinationId && *w.destinationId == f.id) throwNumber(err::kPathFileAccess, f.source);
  std::vector<Entry> entries = listFolder(h.get(), f.source);
  std::wstring folderFinal;
  std::vector<PlannedFolder> inside;
  for (Entry& e : entries) {
    const std::wstring path = f.source + L"\\" + e.name;
    if (isCompatibilityJunction(e)) continue;
    if (e.isReparsePoint()) {
      if (folderFinal.empty()) folderFinal = index == 0 ? w.sourceFinal : finalPathOf(h.get());
      Handle target = openTarget(path, 0);
      checkLink(w, target.get(), folderFinal, e.name, path);
      FileId id;
      Entry resolved;
      if (!describe(target.get(), id, resolved)) throwCopyError(GetLastError(), path);
      resolved.name = e.name;
      resolved.attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
      e = resolved;
    }
    if (e.isFolder()) {
      inside.push_back({path, f.destination + L"\\" + e.name, {}, {}, f.depth + 1, index, {}});
    } else {
      f.files.push_back(std::move(e));
      if (w.progress) {
        w.progress->filesFound.fetch_add(1, std::memory_order_relaxed);
        w.progress->bytesFound.fetch_add(f.files.back().size, std::memory_order_relaxed);
      }
    }
  }
  // Pushed in reverse, so that they are visited in listing order.
  for (auto it = inside.rbegin(); it != inside.rend(); ++it) pending.push_back(std::move(*it));
}

}  // namespace

bool isCompatibilityJunction(const Entry& e) {
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return e.isReparsePoint() && e.reparseTag == IO_REPARSE_TAG_MOUNT_POINT &&
         (e.attributes & kHiddenSystem) == kHiddenSystem;
}

Plan planCopy(const std::wstring& from, const std::wstring& to, CopyProgress* progress) {
  Walk w{L"", plannedFinalPath(to), std::nullopt, progress, {}};
  {
    Handle source = openTarget(from, 0);
    w.sourceFinal = finalPathOf(source.get());
    Handle destination = openFollowing(to);
    FileId id;
    Entry unused;
    if (destination.valid() && describe(destination.get(), id, unused)) w.destinationId = id;
  }
  std::vector<PlannedFolder> pending;
  pending.push_back({from, to, {}, {}, 0, 0, {}});
  while (!pending.empty()) {
    w.folders.push_back(std::move(pending.back()));
    pending.pop_back();
    visit(w, w.folders.size() - 1, pending);
  }
  if (progress) progress->walkDone.store(true, std::memory_order_relaxed);
  return {std::move(w.folders), std::move(w.sourceFinal)};
}

}  // namespace qm::win32
