// The folder listings the check before writing read, kept for the copy's walk.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "copy/plan_check.h"

namespace qm::copy {

// The check lists every folder with each file's status before the copy writes anything;
// the walk that follows would list them all again and read each status a second time. So
// the check keeps what it listed, and the walk takes a folder's listing from here where it
// is kept. The copy then copies exactly the plan that was checked; a file that changed
// since is found changed when it is read (see the systems' copies).
//
// Memory stays bounded: listings are kept up to a number of entries at once, given back as
// the walk takes them; a folder that does not fit is listed again by the walk.
template <typename Entry>
class KeptListings {
 public:
  struct Item {
    Entry entry;
    Listed kind;
  };
  using Listing = std::vector<Item>;

  // About 12 MB of entries on a 64-bit system: a tree of tens of thousands of files is
  // listed once, and the largest trees take no more memory than this.
  static constexpr std::size_t kEntryBudget = std::size_t{1} << 16;

  explicit KeptListings(std::size_t budget = kEntryBudget) : left_(budget) {}

  // Keeps the whole listing of the folder at `relative` (below the top), where the budget
  // allows; a folder kept already keeps its first listing.
  void keep(const std::string& relative, Listing&& listing) {
    std::lock_guard lock(mutex_);
    if (listing.size() > left_) return;
    listing.shrink_to_fit();  // kept a while: no room to grow
    const std::size_t size = listing.size();
    if (kept_.try_emplace(relative, std::move(listing)).second) left_ -= size;
  }

  // The listing kept of `relative`, once; none where it was not kept.
  std::optional<Listing> take(const std::string& relative) {
    std::lock_guard lock(mutex_);
    const auto found = kept_.find(relative);
    if (found == kept_.end()) return std::nullopt;
    Listing listing = std::move(found->second);
    kept_.erase(found);
    left_ += listing.size();
    return listing;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, Listing> kept_;
  std::size_t left_;  // entries that may still be kept
};

}  // namespace qm::copy
