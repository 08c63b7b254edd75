// The check of a whole copy's plan against its destination volume, before anything is
// written: names the volume cannot hold, names it takes for one, files over the
// volume's size limit, and more bytes than it has free.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "copy/name_fold.h"
#include "copy/report.h"

namespace qm::copy {

// What the walk makes of an entry it listed.
enum class Listed {
  Folder,   // walked into: its copy is made or opened, then filled
  File,     // a regular file (also a link the copy follows to one): its data is copied
  Special,  // a link kept as a link, a FIFO: made anew, never left as unchanged
  LeftOut,  // holds nothing worth copying (a socket, a device, a compatibility junction)
};

// What the destination volume takes, as its system tells it.
struct VolumeLimits {
  bool windowsNames = false;  // names as Windows keeps them (FAT, exFAT, NTFS, any on Windows)
  std::uint64_t maxFileSize = std::numeric_limits<std::uint64_t>::max();
  std::string typeName;                    // as the causes name it ("FAT32")
  std::optional<std::uint64_t> freeBytes;  // nothing where the volume does not say
  std::uint64_t unit = 1;                  // what a file's size is rounded up to on it
  // A file's holes stay holes there (not on FAT and exFAT, which store every byte), so a
  // sparse file takes only what it holds.
  bool keepsHoles = true;
};

// Fed the plan folder by folder; what cannot succeed becomes a problem with the error
// number it is refused with.
class PlanCheck {
 public:
  // Without `compareNames`, no destination folder takes two names for one (by case or
  // by their composed and decomposed forms), and names are not compared.
  explicit PlanCheck(VolumeLimits limits, bool compareNames = true)
      : limits_(std::move(limits)), compareNames_(compareNames) {}

  const VolumeLimits& limits() const { return limits_; }
  bool compareNames() const { return compareNames_; }
  // The problems found from here on come after those of any part with a lower `order`,
  // once the parts are joined (parts of a plan checked side by side).
  void startPart(std::size_t order) { order_ = order; }

  // The entries of the folder `relative` (empty for the top) follow.
  void beginFolder(std::string relative);
  // An entry of the current folder that the copy writes; a file with its size and the
  // bytes it takes (less where it has holes), a folder as one unit of the volume.
  void entry(std::string_view name, Listed kind, std::uint64_t size, std::uint64_t taken);
  // Once the current folder is done: the suspect keys (see suspectKey) that two or more of
  // its names share, sorted; empty where no destination can take two of its names for one.
  // Only 4 bytes per name are kept meanwhile, so a folder of a million files costs 4 MB;
  // a key two names share by chance only makes the folder's names be compared again.
  std::vector<std::uint32_t> takeSuspects();
  // The part of nameKey(name) kept for each name.
  static std::uint32_t suspectKey(std::string_view name) {
    return static_cast<std::uint32_t>(nameKey(name) >> 32);
  }
  // A pair of names in the current folder that the destination folder takes for one,
  // folding them as `joins` says.
  void collision(const std::string& first, const std::string& second, NameFolding joins);

  // The space, counted again where the first count does not fit: a file this copy writes
  // where nothing is, or over an older file of `oldSize`; the files it leaves as they are
  // count nothing. Every file counts its lines in the copy's record too, which takes no
  // name rule (it lies beside the copy, under a name of ours).
  void writes(std::uint64_t size);
  void replaces(std::uint64_t oldSize, std::uint64_t newSize);
  // Whether the bytes to write fit in the free space, with one file at a time beside its
  // old copy; without a figure, anything does.
  bool fits() const;
  // Whether they fit with `writers` files replaced at once, each beside its old copy;
  // where not (and fits() holds), the copy replaces files one at a time.
  bool fitsReplacing(unsigned writers) const;
  // Counts the space again from nothing, for a count that looks at the destination.
  void restartSpace();
  // Adds the problem of the space once the plan is through, when it does not fit.
  void finishSpace();

  struct Found {
    int number;
    Problem problem;
    std::size_t order = 0;  // of its part
  };
  // Takes in the problems and the space of a part checked beside this one, keeping the
  // problems of all parts in the order of their parts.
  void join(PlanCheck&& part);
  // The first name (its path below the top, and the name) beyond ASCII that the rules let
  // through: some volumes refuse every such name (the FUSE FAT driver), which only the
  // destination itself can tell.
  const std::optional<std::pair<std::string, std::string>>& firstWideName() const { return wide_; }
  // What the destination cannot take that the walk found there: `number` for `file`.
  void refuse(int number, const std::string& file) {
    add(number, file, numberCause(number, false));
  }
  // The first problems; the others are only counted.
  const std::vector<Found>& problems() const { return problems_; }
  std::size_t moreProblems() const { return more_; }

 private:
  std::uint64_t rounded(std::uint64_t size) const;
  std::uint64_t need(unsigned writers = 1) const;
  void keepLargest(std::uint64_t size);
  // More writers than any copy runs.
  static constexpr std::size_t kMostWriters = 64;
  std::string path(std::string_view name) const;
  void add(int number, std::string file, std::string cause);

  const VolumeLimits limits_;
  const bool compareNames_;
  std::string folder_;
  std::vector<std::uint32_t> keys_;  // of the current folder's names (suspectKey)
  std::uint64_t written_ = 0, freed_ = 0;
  // The copy's record beside the copy: the most a file's lines take, with their path twice.
  static constexpr std::uint64_t kRecordBytesPerFile = 320;
  std::uint64_t recordBytes_ = 0;
  std::vector<std::uint64_t> largestReplaced_;  // the largest old sizes, largest first
  std::vector<Found> problems_;                 // the first ones; the others are counted in more_
  std::size_t more_ = 0;
  std::size_t order_ = 0;
  std::optional<std::pair<std::string, std::string>> wide_;  // see firstWideName
  std::size_t wideOrder_ = 0;
};

}  // namespace qm::copy
