// The entries of a source folder, as the copy lists them.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "copy/pipeline.h"
#include "folder_node.h"

namespace qm::posix {

// An entry of a source folder as the walk listed it. The walk reads its status only where
// it needs it (to count the bytes it found, to follow a link, or where the listing gives
// no type); the worker that copies the entry reads it otherwise, so that the walk stays
// light.
struct Entry {
  std::string name;
  struct stat st;
  bool statted = false;        // `st` holds the entry's status
  bool listedRegular = false;  // the folder listing gave it as a regular file
  bool followed = false;       // a link the copy follows: `st` is what it points to
  // Why the listing gave it as left out: a socket or device, or a link to follow that
  // leads nowhere.
  copy::LeftOut leftOut = copy::LeftOut::NotData;
  // The stamp of its copy as write() left it, read from the open copy (copyStamped), where
  // nothing changes it after that (see CopySystem::stampsOpenCopies).
  copy::FileStamp copyStamp{};
  bool copyStamped = false;
};

// Told each entry and what it is; returns false to end the listing.
using EmitEntry = std::function<bool(Entry&&, copy::Listed)>;

// Lists the source folder of `dir` (whose folders the caller holds leased). With
// `measure`, every entry's status is read; with `follow`, a link's status is what it
// points to, and a link that points nowhere is left out. An entry that vanished after the
// folder listed it is no longer part of the copy. Throws RuntimeError.
void listFolder(const DirNode& dir, bool measure, bool follow, const EmitEntry& emit);

// `entry` in the bytes the walk and the writing need of it (its name, how it was listed,
// the fields of its status the copy reads), appended to `into`; unpackEntry() takes them
// back from the front of `from`, other fields of the status zero.
void packEntry(const Entry& entry, std::string& into);
Entry unpackEntry(std::string_view& from);

// Reads the status of `entry` of `dir` (leased); with `follow`, a link's is the status of
// what it points to, and a link that points nowhere keeps its own, marked as left out.
// Throws SourceError.
void statEntry(const DirNode& dir, Entry& entry, bool follow);

// The names of the folders (not links to folders) that the destination folder of `dir`
// (leased) holds; none where it has no destination folder. Throws RuntimeError.
std::vector<std::string> destinationFolders(const DirNode& dir);

}  // namespace qm::posix
