// Folder listings, file identities and the times and attributes the copy compares.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "copy/pipeline.h"
#include "os/win32/handle.h"

namespace qm::win32 {

// Times are 100 ns ticks since 1601, as the file systems keep them.
using Ticks = std::uint64_t;

inline Ticks ticksOf(LARGE_INTEGER t) {
  return static_cast<Ticks>(t.QuadPart);
}
inline Ticks ticksOf(FILETIME t) {
  return (Ticks{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}
inline FILETIME fileTimeOf(Ticks t) {
  return {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

// One file or folder as a listing or an open handle shows it. `changed`, the time of the
// last change to its data or metadata, is 0 where the system does not tell; `reparseTag`
// says what kind of reparse point it is (a junction, a symbolic link...), 0 for none.
struct Entry {
  std::wstring name;
  DWORD attributes = 0;
  std::uint64_t size = 0;
  Ticks created = 0, accessed = 0, written = 0, changed = 0;
  DWORD reparseTag = 0;
  // Why the listing gave it as left out (a link that leads nowhere or into the copy, one
  // whose owner could not read its target, a compatibility junction).
  copy::LeftOut leftOut = copy::LeftOut::NotData;

  bool isFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool isReparsePoint() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

// `entry` in few bytes (its name, attributes, size, times and why it is left out), appended
// to `into`; unpackEntry() takes them back from the front of `from`.
void packEntry(const Entry& entry, std::string& into);
Entry unpackEntry(std::string_view& from);

// What tells two files apart: the volume's serial number and the file's index there.
struct FileId {
  DWORD volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

// Opens the file or folder `path`, following links, with `access` (0: attributes only).
// The handle is invalid on failure, with the reason in GetLastError.
Handle openFollowing(const std::wstring& path, DWORD access = 0);

// The entries of the open folder `folder` (at `path`, for messages), "." and ".." left out.
// Throws RuntimeError with the copy's number when the folder cannot be read.
std::vector<Entry> listFolder(HANDLE folder, const std::wstring& path);

// Identity, times, attributes and size of what `h` has open; false on failure.
bool describe(HANDLE h, FileId& id, Entry& entry);

// Opens what the entry `path` leads to, as openFollowing does. A missing target (a dangling
// link, or a file that vanished) is 53, a link loop 75. Throws RuntimeError.
Handle openTarget(const std::wstring& path, DWORD access);

// Whether `e` is one of the junctions Windows keeps for older programs ("My Music" in
// Documents, "Application Data" in a profile): a junction both hidden and system. It holds
// nothing of its own, leads to a folder elsewhere and refuses to be listed, so the copy
// leaves it out rather than fail on it or copy that other folder into the copy.
bool isCompatibilityJunction(const Entry& e);

struct DirNode;

// Told each entry and what it is; returns false to end the listing.
using EmitEntry = std::function<bool(Entry&&, copy::Listed)>;

// Lists the source folder of `node`, which it then closes. Links, to files and folders
// alike, are followed: the copy holds what they point to, on any volume and without
// privileges, where the link's owner could read what it leads to (see linkOwnerMayRead).
// A link that leads to its own folder or above it, or into or above the destination (a
// cycle), one that leads nowhere, one whose owner could not read its target and a
// compatibility junction are given as left out. Throws RuntimeError.
void listNode(DirNode& node, const EmitEntry& emit);

}  // namespace qm::win32
