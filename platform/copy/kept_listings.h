// The folder listings the check before writing read, kept packed for the copy's walk.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "copy/plan_check.h"

namespace qm::copy {

// The check lists every folder with each file's status before the copy writes anything;
// the walk beside it would list them all again and read each status a second time. So
// the check keeps what it listed, and the walk takes a folder's listing from here where it
// is kept. The copy then copies exactly the plan that was checked; a file that changed
// since is found changed when it is read (see the systems' copies).
//
// While the check lists, the walk waits for the check's listing of a folder rather than
// list it too: where nothing is written (a re-copy that keeps its files) the walk would
// otherwise run ahead and both would list most folders. The check never waits for the walk,
// so the walk's wait always ends: with the listing, with word that the check will not keep
// it (dropped, or a folder the check does not list), or when the check has listed all.
//
// An entry is kept as its system packs it (see primitives.h): what the walk needs of it and
// no more, about a hundred bytes. Memory stays bounded: listings take their room from a
// budget of bytes as they are made, and give it back as the walk takes them; a folder that
// does not fit is listed again by the walk, and holds no more than the budget meanwhile.
class KeptListings {
 public:
  // A listing in pieces, each entry a byte of its kind and then its packed bytes: a piece
  // is never copied to grow, and none is much larger than what it holds.
  struct Listing {
    std::vector<std::string> pieces;
    std::size_t room = 0;  // the budget it takes: the capacity of its pieces
  };

  // About 65,000 entries of a tree of tiny files.
  static constexpr std::size_t kByteBudget = std::size_t{6} << 20;
  // What the listings share with what the copy holds beside them for the whole run (the
  // last run's record, sixteen bytes a file), and the least they keep however much that is:
  // a tree of a million files then stays within its bounds of memory, while the walk of a
  // smaller one still finds every listing it can use.
  static constexpr std::size_t kSharedBudget = std::size_t{18} << 20;
  static constexpr std::size_t kLeastBudget = std::size_t{2} << 20;
  static constexpr std::size_t kFirstPiece = std::size_t{1} << 12;
  static constexpr std::size_t kLargestPiece = std::size_t{1} << 16;
  // What a kept listing takes beside its pieces and its folder's path: its place in the map.
  static constexpr std::size_t kHeldBytes = 96;
  // The most folders remembered as not kept while the check lists; past them, the walk
  // lists every folder not kept itself rather than wait for it.
  static constexpr std::size_t kMostNotKept = 4096;

  explicit KeptListings(std::size_t budget = kByteBudget)
      : given_(budget), budget_(budget), left_(budget) {}

  // The budget beside `held` bytes that the copy holds elsewhere until it ends: what is
  // left of kSharedBudget, at least kLeastBudget, at most the budget it was given.
  std::size_t budgetBeside(std::size_t held) const {
    const std::size_t shared =
        held + kLeastBudget >= kSharedBudget ? kLeastBudget : kSharedBudget - held;
    return std::min(shared, given_);
  }
  // Lowers the budget to `budget` bytes for good. Listings kept already stay; the room
  // they give back goes to what the budget owes until it is within the new budget.
  void lowerBudget(std::size_t budget);

  // A listing of the folder at `relative` (below the top) as the check makes it, one entry
  // after another; it takes its room from the budget piece by piece, and drops what it
  // holds once the budget has no more. A listing not kept is dropped.
  class Maker {
   public:
    // Null: keeps nothing.
    Maker(KeptListings* kept, std::string relative) : kept_(kept), relative_(std::move(relative)) {}
    Maker(const Maker&) = delete;
    Maker& operator=(const Maker&) = delete;
    ~Maker() { drop(); }

    // `pack(std::string&)` appends the entry's packed bytes.
    template <typename Pack>
    void add(Listed kind, Pack pack) {
      if (!kept_) return;
      entry_.assign(1, static_cast<char>(kind));
      pack(entry_);
      if (!fits(entry_.size())) return drop();
      listing_.pieces.back().append(entry_);
    }
    // Hands the listing to the budget's keeping, for the walk.
    void keep();

   private:
    bool fits(std::size_t bytes);
    void drop();

    KeptListings* kept_;
    std::string relative_;
    Listing listing_;
    std::string entry_;  // the entry being packed, its buffer used again for the next
  };

  // A listing the walk took: its room goes back to the budget once it is gone.
  class Taken {
   public:
    Taken(KeptListings& kept, Listing&& listing) : kept_(&kept), listing_(std::move(listing)) {}
    Taken(Taken&& other) noexcept
        : kept_(std::exchange(other.kept_, nullptr)), listing_(std::move(other.listing_)) {}
    Taken& operator=(Taken&&) = delete;
    ~Taken() {
      const std::size_t room = listing_.room;
      listing_ = {};
      if (kept_) kept_->giveBack(room);
    }
    // Calls visit(Listed, std::string_view& packed) for each entry in order; visit takes
    // the entry's bytes from the front of `packed`, and returns false to stop.
    template <typename Visit>
    void each(Visit visit) const {
      for (const std::string& piece : listing_.pieces) {
        for (std::string_view rest = piece; !rest.empty();) {
          const auto kind = static_cast<Listed>(rest.front());
          rest.remove_prefix(1);
          if (!visit(kind, rest)) return;
        }
      }
    }

   private:
    KeptListings* kept_;
    Listing listing_;
  };

  // The check is about to list the folders below the top (until checkListed()).
  void expectCheck();
  // The check will list no more: the walk waits for nothing from here on.
  void checkListed();
  // The check will not list the folder at `relative`, or not keep its listing.
  void willNotKeep(const std::string& relative);

  // The listing kept of `relative`, once; none where it was not kept. While the check
  // lists, `wait` waits until the check has kept it or will not.
  std::optional<Taken> take(const std::string& relative, bool wait = false);

  // The room the budget still has.
  std::size_t left() {
    std::lock_guard lock(mutex_);
    return left_;
  }

 private:
  bool takeRoom(std::size_t bytes);
  void giveBack(std::size_t bytes);
  // Room given back, under the lock: first to what the budget owes.
  void returnRoom(std::size_t bytes);
  // Keeps the listing of the folder at `relative` (below the top), its room taken; a
  // folder kept already keeps its first listing.
  void keep(const std::string& relative, Listing&& listing);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<std::string, Listing> kept_;
  // Folders the check has passed without keeping their listing, while it lists: a name for
  // each folder over the budget until the walk comes to it, up to kMostNotKept.
  std::unordered_set<std::string> notKept_;
  bool checking_ = false;
  bool unsure_ = false;      // more were not kept than are remembered
  const std::size_t given_;  // the budget as it was given
  std::size_t budget_;       // as lowered
  std::size_t left_;         // bytes that may still be kept
  std::size_t owed_ = 0;     // room taken beyond a lowered budget, not yet given back
};

inline bool KeptListings::takeRoom(std::size_t bytes) {
  std::lock_guard lock(mutex_);
  if (bytes > left_) return false;
  left_ -= bytes;
  return true;
}

inline void KeptListings::giveBack(std::size_t bytes) {
  std::lock_guard lock(mutex_);
  returnRoom(bytes);
}

inline void KeptListings::returnRoom(std::size_t bytes) {
  const std::size_t paid = std::min(bytes, owed_);
  owed_ -= paid;
  left_ += bytes - paid;
}

inline void KeptListings::lowerBudget(std::size_t budget) {
  std::lock_guard lock(mutex_);
  if (budget >= budget_) return;
  const std::size_t cut = budget_ - budget;
  budget_ = budget;
  const std::size_t fromLeft = std::min(cut, left_);
  left_ -= fromLeft;
  owed_ += cut - fromLeft;
}

inline void KeptListings::keep(const std::string& relative, Listing&& listing) {
  {
    std::lock_guard lock(mutex_);
    const std::size_t room = listing.room;
    if (!kept_.try_emplace(relative, std::move(listing)).second) returnRoom(room);
  }
  changed_.notify_all();
}

inline void KeptListings::expectCheck() {
  std::lock_guard lock(mutex_);
  checking_ = true;
}

inline void KeptListings::checkListed() {
  {
    std::lock_guard lock(mutex_);
    checking_ = false;
    notKept_.clear();
  }
  changed_.notify_all();
}

inline void KeptListings::willNotKeep(const std::string& relative) {
  {
    std::lock_guard lock(mutex_);
    if (!checking_ || unsure_) return;
    if (notKept_.size() < kMostNotKept) {
      notKept_.insert(relative);
    } else {
      unsure_ = true;
      notKept_.clear();
    }
  }
  changed_.notify_all();
}

inline std::optional<KeptListings::Taken> KeptListings::take(const std::string& relative,
                                                             bool wait) {
  std::unique_lock lock(mutex_);
  if (wait)
    changed_.wait(lock, [&] {
      return !checking_ || unsure_ || kept_.contains(relative) || notKept_.contains(relative);
    });
  notKept_.erase(relative);
  const auto found = kept_.find(relative);
  if (found == kept_.end()) return std::nullopt;
  Taken taken(*this, std::move(found->second));
  kept_.erase(found);
  return taken;
}

// A new piece where the last has no place for the entry: twice the last, up to the largest.
inline bool KeptListings::Maker::fits(std::size_t bytes) {
  std::vector<std::string>& pieces = listing_.pieces;
  if (!pieces.empty() && pieces.back().capacity() - pieces.back().size() >= bytes) return true;
  const std::size_t last = pieces.empty() ? kFirstPiece / 2 : pieces.back().capacity();
  const std::size_t size = std::max(std::min(2 * last, kLargestPiece), bytes);
  if (!kept_->takeRoom(size)) return false;
  pieces.emplace_back().reserve(size);
  listing_.room += size;
  return true;
}

// Nothing kept: what it held goes, and its room with it.
inline void KeptListings::Maker::drop() {
  if (!kept_) return;
  const std::size_t room = listing_.room;
  listing_ = {};
  kept_->giveBack(room);
  kept_->willNotKeep(relative_);
  kept_ = nullptr;
}

// The last piece is trimmed to what it holds: the listing may be kept a while.
inline void KeptListings::Maker::keep() {
  if (!kept_) return;
  if (!listing_.pieces.empty()) {
    std::string& last = listing_.pieces.back();
    const std::size_t before = last.capacity();
    last.shrink_to_fit();
    const std::size_t freed = std::min(before - std::min(before, last.capacity()), listing_.room);
    listing_.room -= freed;
    kept_->giveBack(freed);
  }
  // What keeping it takes beside its pieces, so that a tree of many empty folders is kept
  // within the budget too.
  const std::size_t held = kHeldBytes + relative_.size();
  if (!kept_->takeRoom(held)) return drop();
  listing_.room += held;
  kept_->keep(relative_, std::move(listing_));
  kept_ = nullptr;
}

}  // namespace qm::copy
