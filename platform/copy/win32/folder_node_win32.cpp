// The folders of a copy on Windows: opened and checked, listed with links resolved, made
// or merged into, and finished with their source's times and attributes.
#include <windows.h>

#include "copy/report.h"
#include "create_error.h"
#include "errors.h"
#include "folder_node.h"
#include "metadata.h"
#include "copy_errors.h"
#include "os/win32/longpath.h"
#include "os/win32/wide.h"
#include "temporaries.h"

namespace qm::win32 {
namespace {

constexpr DWORD kKeptFolderAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Folder times closer than this are left alone: no file system is coarser.
constexpr Ticks kFolderTimeSlack = 20'000'000;

// Names as the Windows file systems compare them: without regard to case.
std::wstring key(std::wstring name) {
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

// Opens the source folder of `node` for listing and learns its identity and times.
void openSource(DirNode& node) {
  try {
    node.listing = openTarget(node.source, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
  } catch (const RuntimeError& error) {
    throw copy::SourceError(error.number, error.path);
  }
  if (!describe(node.listing.get(), node.id, node.self))
    throwSourceError(GetLastError(), node.source);
}

// Opens the source folder of the subfolder `folder` of `parent` into `node`; a folder that
// is one of its own ancestors or the destination is a cycle, left out.
void openChildSource(DirNode& node, DirNode& parent, const Entry& folder) {
  node.parent = &parent;
  node.bounds = parent.bounds;
  node.source = parent.source + L"\\" + folder.name;
  node.destination = parent.destination + L"\\" + folder.name;
  openSource(node);
  for (const DirNode* up = &parent; up != nullptr; up = up->parent) {
    if (up->id == node.id)
      throw copy::LeftOutError(copy::LeftOut::Cycle, narrow(plainPath(node.source)));
  }
  if (node.bounds->destinationId && *node.bounds->destinationId == node.id)
    throw copy::LeftOutError(copy::LeftOut::Cycle, narrow(plainPath(node.source)));
}

// What the existing destination folder of `node` holds, by case-folded name.
void listExisting(DirNode& node, HANDLE h) {
  const std::vector<Entry> entries = listFolder(h, node.destination);
  for (const Entry& e : entries) node.existing.emplace(key(e.name), e);
}

// Opens the destination folder that is there, listing what it holds.
void openExisting(DirNode& node) {
  Handle h = openFollowing(node.destination, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
  if (!h.valid()) throwCopyError(GetLastError(), node.destination);
  FileId id;
  if (!describe(h.get(), id, node.before)) throwCopyError(GetLastError(), node.destination);
  if (!node.before.isFolder()) throwNumber(err::kFileExists, node.destination);
  // A linked folder in the destination must not lead back into the source.
  if (node.before.isReparsePoint() &&
      isSameOrInside(finalPathOf(h.get()), node.bounds->sourceFinal))
    throwNumber(err::kPathFileAccess, node.destination);
  node.volume = id.volume;
  const std::vector<Entry> entries = listFolder(h.get(), node.destination);
  h.close();
  removeStaleTemporaries(node.destination, entries);
  node.existing.clear();
  for (const Entry& e : entries) node.existing.emplace(key(e.name), e);
  // A read-only folder may refuse new entries on some systems: opened for the copy, the
  // source's attributes are set again at the end.
  if (node.before.attributes & FILE_ATTRIBUTE_READONLY) {
    metadataCall(
        [&] {
          return SetFileAttributesW(node.destination.c_str(),
                                    node.before.attributes & ~FILE_ATTRIBUTE_READONLY);
        },
        node.destination);
    node.touched = true;
  }
}

// Makes the destination folder of `node` (after calling `beforeMaking` where given), or
// opens the one that is there.
void openDestination(DirNode& node, const DirNode* parent,
                     const std::function<void()>& beforeMaking) {
  const Entry* known =
      parent ? parent->find(node.destination.substr(node.destination.rfind(L'\\') + 1)) : nullptr;
  if (known && !known->isFolder()) throwNumber(err::kFileExists, node.destination);
  if (!known && beforeMaking) beforeMaking();
  if (!known && CreateDirectoryW(node.destination.c_str(), nullptr)) {
    node.made = node.touched = true;
    return;
  }
  const DWORD code = known ? ERROR_ALREADY_EXISTS : GetLastError();
  if (code != ERROR_ALREADY_EXISTS)
    throwNumber(createErrorNumber(node.destination, code, true), node.destination);
  openExisting(node);
}

// The name of the existing entry `path` as its folder spells it: as the folder was listed,
// else (made by this copy meanwhile) as the system finds it now.
std::wstring nameThere(const DirNode& parent, const std::wstring& path, const std::wstring& name) {
  if (const Entry* known = parent.find(name)) return known->name;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return name;
  FindClose(search);
  return found.cFileName;
}

}  // namespace

void DirNode::claim(const std::wstring& there, const std::wstring& name) {
  std::lock_guard lock(claimsMutex_);
  const auto [at, claimed] = claims_.emplace(there, name);
  if (claimed || at->second == name) return;
  throw copy::ClashError(narrow(plainPath(destination + L"\\" + name)),
                         copy::sameNameCause(narrow(at->second), narrow(name)));
}

const Entry* DirNode::find(const std::wstring& name) const {
  const auto it = existing.find(key(name));
  return it == existing.end() ? nullptr : &it->second;
}

void openTopNode(DirNode& node, const CopyBounds& bounds, const std::wstring& from,
                 const std::wstring& to) {
  node.bounds = &bounds;
  node.source = from;
  node.destination = to;
  openSource(node);
  openDestination(node, nullptr, nullptr);
}

void openSurveyTop(DirNode& own, const DirNode& top) {
  own.bounds = top.bounds;
  own.source = top.source;
  own.destination = top.destination;
  own.self = top.self;
  own.id = top.id;
  own.made = top.made;
  own.volume = top.volume;
  own.existing = top.existing;
  // A handle of its own: it is listed while the copy lists the top folder too.
  own.listing = openTarget(own.source, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
}

void openSurveyNode(DirNode& node, DirNode& parent, const Entry& folder) {
  openChildSource(node, parent, folder);
  node.volume = parent.volume;
  const Entry* known = parent.hasDestination ? parent.find(folder.name) : nullptr;
  if (known && !known->isFolder()) throwNumber(err::kFileExists, node.destination);
  node.hasDestination = known && known->isFolder() && !known->isReparsePoint();
  if (!node.hasDestination) return;
  Handle h = openFollowing(node.destination, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
  if (!h.valid()) throwCopyError(GetLastError(), node.destination);
  listExisting(node, h.get());
}

const DirNode& nearestDestination(const DirNode& node) {
  const DirNode* at = &node;
  while (!at->hasDestination && at->parent) at = at->parent;
  return *at;
}

void openChildNode(DirNode& node, DirNode& parent, const Entry& folder,
                   const std::function<void()>& beforeMaking) {
  openChildSource(node, parent, folder);
  openDestination(node, &parent, beforeMaking);
  if (node.made) parent.touched = true;
  // Two source folders whose names the destination takes for one are never merged.
  parent.claim(node.made ? folder.name : nameThere(parent, node.destination, folder.name),
               folder.name);
}

void finishFolder(const DirNode& node) {
  const DWORD kept = node.self.attributes & kKeptFolderAttributes;
  const Ticks gap = node.before.written > node.self.written
                        ? node.before.written - node.self.written
                        : node.self.written - node.before.written;
  if (!node.touched && gap < kFolderTimeSlack &&
      (node.before.attributes & kKeptFolderAttributes) == kept)
    return;
  // Opening for attributes is a metadata call too: a foreign folder may deny it.
  Handle h;
  metadataCall(
      [&] {
        h = Handle(CreateFileW(node.destination.c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return h.valid();
      },
      node.destination);
  if (h.valid()) {
    const FILETIME created = fileTimeOf(node.self.created),
                   accessed = fileTimeOf(node.self.accessed),
                   written = fileTimeOf(node.self.written);
    metadataCall([&] { return SetFileTime(h.get(), &created, &accessed, &written); },
                 node.destination);
    h.close();
  }
  metadataCall(
      [&] {
        return SetFileAttributesW(node.destination.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
      },
      node.destination);
}

}  // namespace qm::win32
