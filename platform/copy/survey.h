// The walk before a copy writes anything: the whole plan, checked against the destination.
#pragma once

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "copy/kept_listings.h"
#include "copy/options.h"
#include "copy/packed_entries.h"
#include "copy/plan_check.h"
#include "copy/primitives.h"
#include "os/paths.h"
#include "utf8.h"

namespace qm::copy {

// The folders a destination folder holds, met by the names of the source files that are
// to be written there: the pairs of a file and a folder that may take the same place
// (the same name, or names the destination may take for one).
class HeldFolders {
 public:
  explicit HeldFolders(std::vector<std::string> folders) {
    for (std::string& name : folders) {
      const std::uint64_t key = isValidUtf8(name) ? nameKey(name) : 0;
      folders_.emplace(key, std::move(name));
    }
  }
  bool any() const { return !folders_.empty(); }
  void meet(const std::string& file) {
    const bool valid = isValidUtf8(file);
    const auto [from, to] = folders_.equal_range(valid ? nameKey(file) : 0);
    for (auto at = from; at != to; ++at)
      if (at->second == file || valid) met_.emplace_back(file, at->second);
  }
  const std::vector<std::pair<std::string, std::string>>& met() const { return met_; }

 private:
  std::unordered_multimap<std::uint64_t, std::string> folders_;  // by nameKey; 0: not UTF-8
  std::vector<std::pair<std::string, std::string>> met_;         // a file, a folder
};

// Walks the source below a top folder with the primitives of a system's copy (see
// copy/primitives.h), opening no destination folder that does not exist, and tells the
// check what the copy would write. The space is counted first by the source alone; only
// where that does not fit is it counted again by what the destination holds, so that a
// copy which leaves most files as they are is not refused.
template <SystemPrimitives Sys>
class Survey {
 public:
  using Folder = typename Sys::Folder;
  using Entry = typename Sys::Entry;

  // `stopped()` ends the walk early: the copy failed meanwhile, and its plan no longer
  // matters.
  // The first count keeps the folders' listings in `kept`, for the copy's walk.
  Survey(Sys& sys, const CopyOptions& options, PlanCheck& check, KeptListings& kept,
         std::function<bool()> stopped)
      : sys_(sys), options_(options), check_(check), kept_(kept), stopped_(std::move(stopped)) {}

  void run(Folder& top) {
    firstCount(top);
    kept_.checkListed();
    if (check_.fits() || stopped()) return;
    check_.restartSpace();
    folder(top, "", true, check_);
    check_.finishSpace();
  }

 private:
  // The first count: the top folder's entries here, the folders below it side by side on
  // as many threads as there are processors (the writers wait for the check meanwhile),
  // each into a check of its own; the parts are joined in the order of their folders, so
  // that the problems come in the order a walk on one thread finds them.
  void firstCount(Folder& top) {
    PackedEntries folders(sys_.destinationOf(top, nullptr));
    entries(top, "", false, check_, folders);
    const unsigned threads =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, folders.count() + 1) - 1;
    std::vector<PlanCheck> parts(threads + 1, PlanCheck(check_.limits(), check_.compareNames()));
    std::size_t given = 0;
    std::mutex mutex;  // over the folders given out and the failure
    std::exception_ptr failure;
    // The next folder and its place among them, for one of the threads.
    const auto next = [&](std::optional<Entry>& entry, std::size_t& i) {
      std::lock_guard lock(mutex);
      std::string packed;
      if (stopped() || !folders.next(packed)) return false;
      std::string_view bytes = packed;
      entry.emplace(sys_.unpack(bytes));
      i = given++;
      return true;
    };
    const auto work = [&](PlanCheck& part) {
      try {
        std::optional<Entry> entry;
        for (std::size_t i = 0; next(entry, i);) {
          part.startPart(i + 1);
          below(top, *entry, "", false, part);
        }
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        abandoned_ = true;
      }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t <= threads; ++t) helpers.emplace_back(work, std::ref(parts[t]));
    work(parts[0]);
    for (std::thread& helper : helpers) helper.join();
    if (failure) std::rethrow_exception(failure);
    for (PlanCheck& part : parts) check_.join(std::move(part));
  }

  bool stopped() const { return abandoned_ || stopped_(); }

  // `space`: the second count, which looks up each file's destination.
  void folder(Folder& dir, const std::string& relative, bool space, PlanCheck& check) {
    PackedEntries folders(sys_.destinationOf(dir, nullptr));
    entries(dir, relative, space, check, folders);
    for (std::string packed; !stopped() && folders.next(packed);) {
      std::string_view bytes = packed;
      Entry entry = sys_.unpack(bytes);
      below(dir, entry, relative, space, check);
    }
  }

  // Lists `dir` into the check, and its folders into `folders`. The first count keeps the
  // listing of each folder below the top (the walk lists the top at once, beside the check).
  void entries(Folder& dir, const std::string& relative, bool space, PlanCheck& check,
               PackedEntries& folders) {
    const bool keep = !space && !relative.empty();
    KeptListings::Maker listing(keep ? &kept_ : nullptr, relative);
    bool whole = true;
    typename Sys::Lease lease(dir);
    if (!space) check.beginFolder(relative);
    // The destination's folders are asked for only where the source has a file there: a
    // folder of many folders and no file holds none of their names.
    std::optional<HeldFolders> held;
    sys_.list(dir, true, [&](Entry&& entry, Listed kind) {
      if (stopped()) return whole = false;
      if (kind != Listed::LeftOut && space) count(dir, entry, kind, check);
      if (kind != Listed::LeftOut && !space)
        check.entry(sys_.nameOf(entry), kind, sys_.listedSize(entry), taken(entry));
      if (!space && (kind == Listed::File || kind == Listed::Special)) {
        if (!held) held.emplace(sys_.destinationFolders(dir));
        if (held->any()) held->meet(sys_.nameOf(entry));
      }
      if (!space && refuses(dir, entry, kind))
        check.refuse(err::kFileExists, pathOf(relative, entry));
      listing.add(kind, [&](std::string& into) { sys_.pack(entry, into); });
      if (kind == Listed::Folder) folders.add([&](std::string& into) { sys_.pack(entry, into); });
      return true;
    });
    if (whole) listing.keep();
    if (!space) checkNames(dir, check);
    if (held) refuseHeld(dir, relative, *held, check);
  }

  static std::string pathOf(const std::string& relative, const std::string& name) {
    return relative.empty() ? name : relative + kPathSeparator + name;
  }
  std::string pathOf(const std::string& relative, const Entry& entry) const {
    return pathOf(relative, std::string(sys_.nameOf(entry)));
  }

  // Without leave to replace, an entry the destination holds already refuses the copy
  // before anything is written. One whose lookup fails is in the way all the same.
  bool refuses(Folder& dir, Entry& entry, Listed kind) {
    if (options_.existing != ExistingFile::Refuse || !sys_.hasDestination(dir)) return false;
    if (kind != Listed::File && kind != Listed::Special) return false;
    try {
      return sys_.existing(dir, entry).has_value();
    } catch (const RuntimeError&) {
      return true;
    }
  }

  // A file of the source whose place in the destination a folder holds: refused before
  // anything is written, as the copy would fail there only after other writes, and must
  // never replace a folder and all it holds.
  void refuseHeld(Folder& dir, const std::string& relative, const HeldFolders& held,
                  PlanCheck& check) {
    std::optional<NameFolding> folding;  // asked of the destination only where needed
    for (const auto& [file, folder] : held.met()) {
      if (file != folder) {
        const std::optional<NameFolding> joins = foldingThatJoins(file, folder);
        if (!joins) continue;
        if (!folding) folding = sys_.namesFold(dir);
        if (!folding->covers(*joins)) continue;
      }
      check.refuse(err::kFileExists, pathOf(relative, file));
    }
  }

  // Walks the folder `entry` of `dir`, unless it is gone or left out.
  void below(Folder& dir, Entry& entry, const std::string& relative, bool space, PlanCheck& check) {
    Folder child;
    if (!openBelow(child, dir, entry, relative, check)) {
      // The walk lists it itself, and meets what the check met.
      if (!space) kept_.willNotKeep(pathOf(relative, entry));
      return;
    }
    // A folder the copy makes takes a unit of the volume.
    if (space && !sys_.hasDestination(child)) check.writes(1);
    folder(child, pathOf(relative, entry), space, check);
  }

  // Opens the folder `entry` of `dir` as `child`; false where it is gone, left out, or a
  // file where the copy needs the folder (refused).
  bool openBelow(Folder& child, Folder& dir, Entry& entry, const std::string& relative,
                 PlanCheck& check) {
    try {
      typename Sys::Lease lease(dir);
      sys_.openSurveyChild(child, dir, entry);
      return true;
    } catch (const SourceError& error) {
      if (error.number == err::kFileNotFound) return false;  // gone: no longer part of the copy
      throw;
    } catch (const LeftOutError&) {
      return false;  // the copy leaves it out and says so
    } catch (const RuntimeError& error) {
      // A file where the copy needs the folder: refused before anything is written.
      if (error.number != err::kFileExists) throw;
      check.refuse(error.number, pathOf(relative, entry));
      return false;
    }
  }

  // The bytes a file takes on the destination: less than its size where it has holes and
  // the destination keeps them.
  std::uint64_t taken(const Entry& entry) const {
    const std::uint64_t size = sys_.listedSize(entry);
    return check_.limits().keepsHoles ? std::min(size, sys_.listedAllocation(entry)) : size;
  }

  // Names of `dir` (leased) that its destination folder takes for one, by case or by their
  // composed and decomposed forms. Rare: the folder is listed again only when two names
  // share a key, and its destination is asked how it compares names only then.
  void checkNames(Folder& dir, PlanCheck& check) {
    const std::vector<std::uint32_t> suspects = check.takeSuspects();
    if (suspects.empty()) return;
    std::unordered_map<std::string, std::string> first;  // folded name, the first name
    std::vector<std::pair<std::string, std::string>> pairs;
    sys_.list(dir, false, [&](Entry&& entry, Listed kind) {
      if (kind == Listed::LeftOut) return true;
      const std::string name = sys_.nameOf(entry);
      if (!isValidUtf8(name) ||
          !std::binary_search(suspects.begin(), suspects.end(), PlanCheck::suspectKey(name)))
        return true;
      const auto [at, inserted] = first.emplace(foldName(name), name);
      if (!inserted) pairs.emplace_back(at->second, name);
      return true;
    });
    if (pairs.empty()) return;
    const NameFolding folding = sys_.namesFold(dir);
    for (const auto& [a, b] : pairs) {
      const std::optional<NameFolding> joins = foldingThatJoins(a, b);
      if (joins && folding.covers(*joins)) check.collision(a, b, *joins);
    }
  }

  void count(Folder& dir, Entry& entry, Listed kind, PlanCheck& check) {
    if (kind != Listed::File) return;
    const std::uint64_t size = taken(entry);
    const auto existing = sys_.existing(dir, entry);
    const FileAction action = decideFile(options_.existing, existing.has_value(),
                                         [&] { return sys_.unchanged(dir, entry, *existing); });
    if (action == FileAction::Keep) return;
    if (existing)
      check.replaces(sys_.existingSize(*existing), size);
    else
      check.writes(size);
  }

  Sys& sys_;
  const CopyOptions& options_;
  PlanCheck& check_;
  KeptListings& kept_;
  std::function<bool()> stopped_;
  std::atomic<bool> abandoned_{false};  // a part failed: the others end too
};

}  // namespace qm::copy
