// The walk before a copy writes anything: the whole plan, checked against the destination.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "copy/options.h"
#include "copy/plan_check.h"
#include "os/paths.h"
#include "utf8.h"

namespace qm::copy {

// Walks the source below a top folder with the primitives of a system's copy (see
// copy/pipeline.h), opening no destination folder that does not exist, and tells the
// check what the copy would write. The space is counted first by the source alone; only
// where that does not fit is it counted again by what the destination holds, so that a
// copy which leaves most files as they are is not refused.
template <typename Sys>
class Survey {
 public:
  using Folder = typename Sys::Folder;
  using Entry = typename Sys::Entry;

  // `stopped()` ends the walk early: the copy failed meanwhile, and its plan no longer
  // matters.
  Survey(Sys& sys, const CopyOptions& options, PlanCheck& check, std::function<bool()> stopped)
      : sys_(sys), options_(options), check_(check), stopped_(std::move(stopped)) {}

  void run(Folder& top) {
    folder(top, "", false);
    if (check_.fits() || stopped_()) return;
    check_.restartSpace();
    folder(top, "", true);
    check_.finishSpace();
  }

 private:
  // `space`: the second count, which looks up each file's destination.
  void folder(Folder& dir, const std::string& relative, bool space) {
    std::vector<Entry> folders;
    {
      typename Sys::Lease lease(dir);
      if (!space) check_.beginFolder(relative);
      sys_.list(dir, true, [&](Entry&& entry, Listed kind) {
        if (stopped_()) return false;
        if (kind == Listed::LeftOut) return true;
        if (space)
          count(dir, entry, kind);
        else
          check_.entry(sys_.nameOf(entry), kind == Listed::File, sys_.listedSize(entry));
        if (kind == Listed::Folder) folders.push_back(std::move(entry));
        return true;
      });
      if (!space) checkCase(dir);
    }
    for (Entry& entry : folders) {
      if (stopped_()) return;
      Folder child;
      try {
        typename Sys::Lease lease(dir);
        sys_.openSurveyChild(child, dir, entry, space);
      } catch (const SourceError& error) {
        if (error.number == err::kFileNotFound) continue;  // gone: no longer part of the copy
        throw;
      } catch (const LeftOutError&) {
        continue;  // the copy leaves it out and says so
      }
      const std::string name = sys_.nameOf(entry);
      folder(child, relative.empty() ? name : relative + kPathSeparator + name, space);
    }
  }

  // Names of `dir` (leased) that only case tells apart, where its destination folder takes
  // them for one. Rare: the folder is listed again only when two names share a key.
  void checkCase(Folder& dir) {
    const std::vector<std::uint64_t> suspects = check_.takeSuspects();
    if (suspects.empty()) return;
    std::unordered_map<std::string, std::string> first;  // folded name, the first name
    std::vector<std::pair<std::string, std::string>> pairs;
    sys_.list(dir, false, [&](Entry&& entry, Listed kind) {
      if (kind == Listed::LeftOut) return true;
      const std::string name = sys_.nameOf(entry);
      if (!isValidUtf8(name) ||
          !std::binary_search(suspects.begin(), suspects.end(), PlanCheck::caseKey(name)))
        return true;
      const auto [at, inserted] = first.emplace(foldCase(name), name);
      if (!inserted) pairs.emplace_back(at->second, name);
      return true;
    });
    if (!pairs.empty() && sys_.foldsCase(dir))
      for (const auto& [a, b] : pairs) check_.collision(a, b);
  }

  void count(Folder& dir, Entry& entry, Listed kind) {
    if (kind != Listed::File) return;
    const std::uint64_t size = sys_.listedSize(entry);
    const auto existing = sys_.existing(dir, entry);
    const FileAction action = decideFile(options_.existing, existing.has_value(),
                                         [&] { return sys_.unchanged(dir, entry, *existing); });
    if (action == FileAction::Keep) return;
    if (existing)
      check_.replaces(sys_.existingSize(*existing), size);
    else
      check_.writes(size);
  }

  Sys& sys_;
  const CopyOptions& options_;
  PlanCheck& check_;
  std::function<bool()> stopped_;
};

}  // namespace qm::copy
