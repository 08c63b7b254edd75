// Folder listings in bulk (with change times) and what an open handle describes.
#include <cstring>
#include <memory>

#include "copy/packing.h"
#include "errors.h"
#include "folder_node.h"
#include "link_access.h"
#include "listing.h"
#include "copy_errors.h"
#include "os/win32/longpath.h"

namespace qm::win32 {
namespace {

constexpr DWORD kListingBuffer = 64 * 1024;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isDotName(const wchar_t* name, std::size_t length) {
  return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

// The listing through FindFirstFileExW, for file systems that do not answer the bulk
// query; they tell no change times.
std::vector<Entry> listByFind(const std::wstring& path) {
  std::vector<Entry> out;
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &d, FindExSearchNameMatch,
                              nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return out;  // empty root
    throwCopyError(code, path);
  }
  do {
    const std::size_t length = wcslen(d.cFileName);
    if (isDotName(d.cFileName, length)) continue;
    out.push_back(
        {d.cFileName, d.dwFileAttributes, (std::uint64_t{d.nFileSizeHigh} << 32) | d.nFileSizeLow,
         ticksOf(d.ftCreationTime), ticksOf(d.ftLastAccessTime), ticksOf(d.ftLastWriteTime), 0,
         (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? d.dwReserved0 : 0});
  } while (FindNextFileW(h, &d));
  const DWORD code = GetLastError();
  FindClose(h);
  if (code != ERROR_NO_MORE_FILES) throwCopyError(code, path);
  return out;
}

void appendBatch(const unsigned char* at, std::vector<Entry>& out) {
  for (;;) {
    const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
    const std::size_t length = e->FileNameLength / sizeof(wchar_t);
    if (!isDotName(e->FileName, length)) {
      out.push_back({std::wstring(e->FileName, length), e->FileAttributes,
                     static_cast<std::uint64_t>(e->EndOfFile.QuadPart), ticksOf(e->CreationTime),
                     ticksOf(e->LastAccessTime), ticksOf(e->LastWriteTime), ticksOf(e->ChangeTime),
                     // For a reparse point the field of extended attributes holds its tag.
                     (e->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? e->EaSize : 0});
    }
    if (e->NextEntryOffset == 0) return;
    at += e->NextEntryOffset;
  }
}

bool overlap(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && !b.empty() && (isSameOrInside(a, b) || isSameOrInside(b, a));
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  return isSameOrInside(a, b) && isSameOrInside(b, a);
}

// Whether following the link `name` (in a folder whose final path is `folderFinal`) would
// never end: it leads to that folder or one above it, or into or above the destination. A
// link elsewhere in the source is copied as what it leads to; a reparse point that is not
// a link (its final path is its own) is no link at all.
bool leadsIntoCopy(const CopyBounds& bounds, HANDLE target, const std::wstring& folderFinal,
                   const std::wstring& name) {
  const std::wstring resolved = finalPathOf(target);
  if (resolved.empty() || folderFinal.empty() || samePath(resolved, folderFinal + L"\\" + name))
    return false;
  return isSameOrInside(folderFinal, resolved) || overlap(resolved, bounds.destinationFinal);
}

// `e`, a link in `node` at `path`, as what it leads to, under its own name; false, with
// the reason in `e`, where the copy leaves it out.
bool resolveLink(const DirNode& node, std::wstring& folderFinal, Entry& e,
                 const std::wstring& path) {
  if (folderFinal.empty())
    folderFinal = node.parent ? finalPathOf(node.listing.get()) : node.bounds->sourceFinal;
  Handle target;
  try {
    target = openTarget(path, 0);
  } catch (const RuntimeError& error) {
    if (error.number != err::kFileNotFound && error.number != err::kPathFileAccess) throw;
    e.leftOut = copy::LeftOut::Dangling;
    return false;
  }
  if (leadsIntoCopy(*node.bounds, target.get(), folderFinal, e.name)) {
    e.leftOut = copy::LeftOut::Cycle;
    return false;
  }
  FileId id;
  Entry resolved;
  if (!describe(target.get(), id, resolved)) throwCopyError(GetLastError(), path);
  // A copy with more rights than the link's owner does not publish what that owner could
  // not read: the link is left out, as one that leads nowhere.
  if (isOwnedLink(e.reparseTag) && !linkOwnerMayRead(path, target.get(), resolved.isFolder())) {
    e.leftOut = copy::LeftOut::Unreadable;
    return false;
  }
  resolved.name = std::move(e.name);
  resolved.attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  e = std::move(resolved);
  return true;
}

}  // namespace

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

bool isCompatibilityJunction(const Entry& e) {
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return e.isReparsePoint() && e.reparseTag == IO_REPARSE_TAG_MOUNT_POINT &&
         (e.attributes & kHiddenSystem) == kHiddenSystem;
}

void listNode(DirNode& node, const EmitEntry& emit) {
  std::vector<Entry> entries = listFolder(node.listing.get(), node.source);
  // Every link is resolved and checked before the first entry is handed on, so a link that
  // leads back into the copy stops it before anything of its folder is written.
  std::wstring folderFinal;
  std::vector<bool> leftOut(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Entry& e = entries[i];
    if (isCompatibilityJunction(e)) {
      e.leftOut = copy::LeftOut::Junction;
      leftOut[i] = true;
    } else if (e.isReparsePoint()) {
      leftOut[i] = !resolveLink(node, folderFinal, e, node.source + L"\\" + e.name);
    }
  }
  node.listing.close();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Entry& e = entries[i];
    const copy::Listed kind = leftOut[i]     ? copy::Listed::LeftOut
                              : e.isFolder() ? copy::Listed::Folder
                                             : copy::Listed::File;
    if (!emit(std::move(e), kind)) break;
  }
}

Handle openFollowing(const std::wstring& path, DWORD access) {
  return Handle(CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::vector<Entry> listFolder(HANDLE folder, const std::wstring& path) {
  std::vector<Entry> out;
  // 8-byte aligned, as the records inside are.
  const std::unique_ptr<std::uint64_t[]> buffer(new std::uint64_t[kListingBuffer / 8]);
  FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, query, buffer.get(), kListingBuffer)) {
    appendBatch(reinterpret_cast<const unsigned char*>(buffer.get()), out);
    query = FileIdBothDirectoryInfo;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_NO_MORE_FILES) return out;
  const bool unsupported = code == ERROR_INVALID_PARAMETER || code == ERROR_NOT_SUPPORTED ||
                           code == ERROR_INVALID_FUNCTION;
  if (unsupported && query == FileIdBothDirectoryRestartInfo) return listByFind(path);
  throwCopyError(code, path);
}

bool describe(HANDLE h, FileId& id, Entry& entry) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  id = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  entry.attributes = info.dwFileAttributes;
  entry.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  entry.created = ticksOf(info.ftCreationTime);
  entry.accessed = ticksOf(info.ftLastAccessTime);
  entry.written = ticksOf(info.ftLastWriteTime);
  FILE_BASIC_INFO basic;
  entry.changed = GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)
                      ? ticksOf(basic.ChangeTime)
                      : 0;
  return true;
}

void packEntry(const Entry& entry, std::string& into) {
  copy::packBytes(into, entry.name.data(), entry.name.size() * sizeof(wchar_t));
  copy::packValue(into, entry.attributes);
  copy::packValue(into, entry.size);
  for (const Ticks time : {entry.created, entry.accessed, entry.written, entry.changed})
    copy::packValue(into, time);
  copy::packValue(into, entry.reparseTag);
  copy::packValue(into, entry.leftOut);
}

Entry unpackEntry(std::string_view& from) {
  Entry entry;
  const std::string_view name = copy::unpackBytes(from);
  entry.name.resize(name.size() / sizeof(wchar_t));
  std::memcpy(entry.name.data(), name.data(), entry.name.size() * sizeof(wchar_t));
  entry.attributes = copy::unpackValue<DWORD>(from);
  entry.size = copy::unpackValue<std::uint64_t>(from);
  for (Ticks* time : {&entry.created, &entry.accessed, &entry.written, &entry.changed})
    *time = copy::unpackValue<Ticks>(from);
  entry.reparseTag = copy::unpackValue<DWORD>(from);
  entry.leftOut = copy::unpackValue<copy::LeftOut>(from);
  return entry;
}

}  // namespace qm::win32
