// The first pass of a folder copy: the source tree listed, links resolved and checked,
// before anything is written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "copy/progress.h"
#include "listing.h"

namespace qm::win32 {

// One folder of the source with what the copy makes of it.
struct PlannedFolder {
  std::wstring source;       // where it is read (through a link: the link's path)
  std::wstring destination;  // where its copy goes
  Entry self;                // the times and attributes its copy gets
  std::vector<Entry> files;  // its files; a linked file carries its target's size and times
  unsigned depth = 0;        // 0 for the folder the copy starts from
  std::size_t parent = 0;
  FileId id;
};

// Whether `e` is one of the junctions Windows keeps for older programs ("My Music" in
// Documents, "Application Data" in a profile): a junction both hidden and system. It holds
// nothing of its own, leads to a folder elsewhere and refuses to be listed, so the copy
// leaves it out rather than fail on it or copy that other folder into the copy.
bool isCompatibilityJunction(const Entry& e);

struct Plan {
  std::vector<PlannedFolder> folders;
  std::wstring sourceFinal;  // the source's final path (links resolved)
};

// The folders below `from` (and itself), in the order the copy visits them: each before
// the folders inside it. Links, to files and folders alike, are followed: the copy holds
// what they point to, on any volume and without privileges (compatibility junctions apart,
// see above). A link whose target is the
// source, the destination, inside either or above either, and a folder reached again
// through a link or mount (a cycle), are refused with 75 before anything is written, as a
// copy into itself would be; a link that points nowhere is 53. Every file found is counted
// into `progress` (may be null), which is marked complete at the end.
Plan planCopy(const std::wstring& from, const std::wstring& to, CopyProgress* progress);

}  // namespace qm::win32
