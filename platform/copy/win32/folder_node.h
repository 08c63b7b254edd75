// The folders of a copy on Windows: a source folder with its destination, by long paths.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "listing.h"
#include "os/win32/handle.h"

namespace qm::win32 {

// What no folder of the copy may lead into: the source and the destination as resolved.
struct CopyBounds {
  std::wstring sourceFinal;       // the source's final path (links resolved)
  std::wstring destinationFinal;  // the destination's, as it is or will be
  std::optional<FileId> destinationId;
};

// A source folder being copied and its destination folder while the copy fills it.
struct DirNode {
  const DirNode* parent = nullptr;
  const CopyBounds* bounds = nullptr;
  std::wstring source;       // where it is read (through a link: the link's path)
  std::wstring destination;  // where its copy goes
  Entry self;                // the source folder's times and attributes, which its copy gets
  FileId id;                 // the source folder's identity, to refuse cycles
  Handle listing;            // the source folder, open until it has been listed
  bool made = false;         // made by this copy
  // Its destination folder exists and `existing` holds what it has (always, but in the
  // check before the copy, which looks only at destination folders that exist).
  bool hasDestination = true;
  // Entries were added, replaced or removed, or attributes changed: its times must be set.
  std::atomic<bool> touched{false};
  Entry before;  // its times and attributes before the copy, when it existed
  DWORD volume = 0;
  std::unordered_map<std::wstring, Entry> existing;  // what it held, by case-folded name

  // What the destination holds under `name`; null for nothing.
  const Entry* find(const std::wstring& name) const;
  // Records that the destination entry named `there` (as the folder spells it) belongs to
  // the source entry `name`; where another source entry has it already, the destination
  // takes the two names for one: a ClashError naming both. Safe from several workers.
  void claim(const std::wstring& there, const std::wstring& name);

 private:
  std::mutex claimsMutex_;
  std::unordered_map<std::wstring, std::wstring> claims_;  // entry there, source name
};

// Opens `node` as the top of the copy of folder `from` into folder `to`, which is made or
// opened here. Throws RuntimeError.
void openTopNode(DirNode& node, const CopyBounds& bounds, const std::wstring& from,
                 const std::wstring& to);

// Opens `node` as the folder `folder` listed in `parent`: a LeftOutError when it is one of
// its own ancestors or the destination (a cycle), a SourceError when it cannot be opened;
// its copy made, or opened and listed when it exists (58 when a file is in the way).
// `beforeMaking` is called before the destination folder is made, and may throw. Throws
// RuntimeError.
void openChildNode(DirNode& node, DirNode& parent, const Entry& folder,
                   const std::function<void()>& beforeMaking);

// Opens `own` as the top folder `top` again, for the check before the copy, which lists it
// on a thread of its own.
void openSurveyTop(DirNode& own, const DirNode& top);

// Opens `node` as openChildNode does, for the check before the copy: its destination only
// where it exists as a folder, listed, and nothing made or changed.
void openSurveyNode(DirNode& node, DirNode& parent, const Entry& folder);

// The destination folder nearest to `node` that exists: its own, or one above it.
const DirNode& nearestDestination(const DirNode& node);

// Gives the folder the source folder's times and attributes, once its contents are in
// place; a folder that the copy left as it was and that has them already is not written.
void finishFolder(const DirNode& node);

}  // namespace qm::win32
