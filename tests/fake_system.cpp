// The in-memory system's primitives: trees under one lock, faults applied where a real
// system would meet them.
#include "fake_system.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "copy/packing.h"
#include "errors.h"
#include "os/paths.h"
#include "utf8.h"

namespace qm::fake {

namespace {

std::string join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

// The names directly inside the folder `parent` of `tree`.
template <typename Visit>
void eachChild(const Tree& tree, const std::string& parent, Visit visit) {
  const std::string prefix = parent.empty() ? "" : parent + "/";
  for (auto at = tree.lower_bound(prefix); at != tree.end(); ++at) {
    const std::string& key = at->first;
    if (key.compare(0, prefix.size(), prefix) != 0) break;
    const std::string name = key.substr(prefix.size());
    if (!name.empty() && name.find('/') == std::string::npos) visit(name, at->second);
  }
}

std::string withSeparator(std::string_view relative) {
  std::string path(relative);
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

copy::Listed listedAs(Item::Kind kind) {
  switch (kind) {
    case Item::Kind::Folder: return copy::Listed::Folder;
    case Item::Kind::File: return copy::Listed::File;
    case Item::Kind::Special: return copy::Listed::Special;
    case Item::Kind::LeftOut: return copy::Listed::LeftOut;
  }
  return copy::Listed::LeftOut;
}

}  // namespace

Tree withParents(Tree tree) {
  std::vector<std::string> missing;
  for (const auto& [path, item] : tree)
    for (auto cut = path.find('/'); cut != std::string::npos; cut = path.find('/', cut + 1))
      if (!tree.contains(path.substr(0, cut))) missing.push_back(path.substr(0, cut));
  for (const std::string& path : missing) tree.emplace(path, folder());
  return tree;
}

std::string FakeSystem::sourcePath(std::string_view relative) {
  return relative.empty() ? "src"
                          : "src" + std::string(1, kPathSeparator) + withSeparator(relative);
}

std::string FakeSystem::destinationPath(std::string_view relative) {
  return relative.empty() ? "dst"
                          : "dst" + std::string(1, kPathSeparator) + withSeparator(relative);
}

void FakeSystem::openTop(Folder& top) {
  std::lock_guard lock(mutex_);
  source = withParents(std::move(source));
  destination = withParents(std::move(destination));
  top.made = !destinationTopExists;
  destinationTopExists = true;
  top.hasDestination = true;
  free_ = faults.spaceLeft ? faults.spaceLeft : volume.freeBytes;
}

void FakeSystem::useWorkers(unsigned count) {
  std::lock_guard lock(mutex_);
  workers = count;
}

void FakeSystem::list(Folder& dir, bool measure, const Emit& emit) {
  std::vector<Entry> entries;
  {
    std::lock_guard lock(mutex_);
    if (measure) ++sizedListings[dir.relative];
    eachChild(source, dir.relative, [&](const std::string& name, const Item& item) {
      const bool sized = measure && item.kind == Item::Kind::File;
      entries.push_back({name, listedAs(item.kind), sized ? item.bytes.size() : 0, item.modified,
                         item.reason, item.identity});
    });
  }
  // Emitting hands batches to workers that call back into the fake: not under the lock.
  for (Entry& entry : entries) {
    const copy::Listed kind = entry.kind;
    if (!emit(std::move(entry), kind)) return;
  }
}

void FakeSystem::pack(const Entry& entry, std::string& bytes) {
  copy::packBytes(bytes, entry.name.data(), entry.name.size());
  copy::packValue(bytes, entry.kind);
  copy::packValue(bytes, entry.size);
  copy::packValue(bytes, entry.modified);
  copy::packValue(bytes, entry.reason);
  copy::packValue(bytes, entry.identity);
}

FakeSystem::Entry FakeSystem::unpack(std::string_view& packed) {
  Entry entry;
  entry.name = copy::unpackBytes(packed);
  entry.kind = copy::unpackValue<copy::Listed>(packed);
  entry.size = copy::unpackValue<std::uint64_t>(packed);
  entry.modified = copy::unpackValue<std::int64_t>(packed);
  entry.reason = copy::unpackValue<copy::LeftOut>(packed);
  entry.identity = copy::unpackValue<std::uint64_t>(packed);
  return entry;
}

std::optional<std::string> FakeSystem::placeOf(const std::string& parent,
                                               const std::string& name) const {
  if (destination.contains(join(parent, name))) return name;
  if (!folding.any() || !isValidUtf8(name)) return std::nullopt;
  const std::string folded = copy::foldName(name, folding);
  std::optional<std::string> found;
  eachChild(destination, parent, [&](const std::string& there, const Item&) {
    if (!found && isValidUtf8(there) && copy::foldName(there, folding) == folded) found = there;
  });
  return found;
}

void FakeSystem::openChild(Folder& child, Folder& parent, Entry& entry,
                           const std::function<void()>& beforeMaking) {
  const std::string path = join(parent.relative, entry.name);
  child.relative = path;
  std::unique_lock lock(mutex_);
  const auto item = source.find(path);
  if (item == source.end() || item->second.kind != Item::Kind::Folder)
    throw copy::SourceError(err::kFileNotFound, sourcePath(path));
  if (const auto place = placeOf(parent.there, entry.name)) {
    child.there = join(parent.there, *place);
    if (destination.at(child.there).kind != Item::Kind::Folder)
      throw RuntimeError(err::kFileExists, destinationPath(child.there));
    child.hasDestination = true;
    lock.unlock();
    claim(parent, entry, Existing{*place, Item::Kind::Folder});
    return;
  }
  lock.unlock();
  beforeMaking();
  lock.lock();
  child.there = join(parent.there, entry.name);
  destination.emplace(child.there, folder());
  child.made = child.hasDestination = true;
}

void FakeSystem::openSurveyChild(Folder& child, Folder& parent, Entry& entry) {
  std::this_thread::sleep_for(surveyPause);
  const std::string path = join(parent.relative, entry.name);
  child.relative = path;
  std::lock_guard lock(mutex_);
  if (!source.contains(path)) throw copy::SourceError(err::kFileNotFound, sourcePath(path));
  const auto place = parent.hasDestination ? placeOf(parent.there, entry.name) : std::nullopt;
  child.there = join(parent.there, place ? *place : entry.name);
  if (place && destination.at(child.there).kind != Item::Kind::Folder)
    throw RuntimeError(err::kFileExists, destinationPath(child.there));
  child.hasDestination = place.has_value();
}

std::vector<std::string> FakeSystem::destinationFolders(Folder& dir) {
  std::vector<std::string> names;
  if (!dir.hasDestination) return names;
  std::lock_guard lock(mutex_);
  eachChild(destination, dir.there, [&](const std::string& name, const Item& item) {
    if (item.kind == Item::Kind::Folder) names.push_back(name);
  });
  return names;
}

void FakeSystem::discardTop(Folder& top) {
  std::lock_guard lock(mutex_);
  // As a real folder is removed only while empty.
  if (!top.made || !destination.empty()) return;
  destinationTopExists = false;
  discarded = true;
}

void FakeSystem::openSurveyTop(Folder& own, const Folder& top) {
  own.relative = top.relative;
  own.there = top.there;
  own.hasDestination = top.hasDestination;
  own.made = top.made;
}

// Nothing was there in a folder this copy made, as the real systems assume.
std::optional<FakeSystem::Existing> FakeSystem::existing(Folder& dir, Entry& entry) {
  if (!dir.hasDestination || dir.made) return std::nullopt;
  std::lock_guard lock(mutex_);
  const auto place = placeOf(dir.there, entry.name);
  if (!place) return std::nullopt;
  const Item& item = destination.at(join(dir.there, *place));
  return Existing{*place, item.kind, item.bytes.size(), item.modified, item.identity};
}

// Like the real systems, only a destination that takes two names for one can see two
// source entries meet one destination entry.
void FakeSystem::claim(Folder& dir, Entry& entry, const Existing& existing) {
  if (!folding.any()) return;
  std::lock_guard lock(dir.claimsMutex);
  const auto [at, first] = dir.claims.emplace(existing.name, entry.name);
  if (!first && at->second != entry.name)
    throw copy::ClashError(destinationOf(dir, &entry), copy::sameNameCause(at->second, entry.name));
}

// The rule shape of the real systems: a file of the same size and modification time.
bool FakeSystem::unchanged(Folder& dir, Entry& entry, const Existing& existing) {
  std::lock_guard lock(mutex_);
  const auto item = source.find(join(dir.relative, entry.name));
  if (item == source.end()) return false;
  return existing.kind == Item::Kind::File && existing.size == item->second.bytes.size() &&
         existing.modified == item->second.modified;
}

bool FakeSystem::takesName(Folder&, std::string_view name) const {
  return faults.takesWideNames ||
         std::none_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
}

bool FakeSystem::readsAsListed(const std::string& path, int attempt) const {
  const auto item = source.find(path);
  if (item == source.end() || faults.vanished.contains(path))
    throw copy::SourceError(err::kFileNotFound, sourcePath(path));
  if (faults.unreadable.contains(path))
    throw copy::SourceError(err::kPermissionDenied, sourcePath(path));
  const auto changing = faults.changing.find(path);
  return changing == faults.changing.end() || changing->second < attempt;
}

std::string FakeSystem::placeFor(const Folder& dir, const Entry& entry, const Existing* existing) {
  const std::string target = destinationOf(dir, &entry);
  if (faults.refused.contains(join(dir.relative, entry.name)))
    throw RuntimeError(err::kPermissionDenied, target);
  if (const auto made = faults.madeMeanwhile.find(join(dir.relative, entry.name));
      made != faults.madeMeanwhile.end()) {
    destination[join(dir.there, entry.name)] = made->second;
    faults.madeMeanwhile.erase(made);
  }
  const auto place = placeOf(dir.there, entry.name);
  if (!place) return join(dir.there, entry.name);
  // What is there now and was not there when the copy looked: made by someone else.
  if (!existing && *place != entry.name)
    throw copy::ClashError(target, copy::sameNameCause(*place, entry.name));
  if (!existing && options_.existing == ExistingFile::Refuse)
    throw RuntimeError(err::kFileExists, target);
  if (destination.at(join(dir.there, *place)).kind == Item::Kind::Folder)
    throw RuntimeError(err::kFileExists, target);
  return join(dir.there, *place);
}

void FakeSystem::write(Folder& dir, Entry& entry, const Existing* existing,
                       copy::FileProgress& progress, unsigned worker) {
  const std::string path = join(dir.relative, entry.name);
  std::unique_lock lock(mutex_);
  if (worker >= workers) throw std::logic_error("a worker the pipeline did not announce");
  for (int attempt = 1;; ++attempt) {
    ++attempts[path];
    if (readsAsListed(path, attempt)) break;
    if (attempt == kReadAttempts)
      throw copy::SourceError(err::kPathFileAccess, sourcePath(path), copy::changingCause());
  }
  const Item item = source.at(path);
  const std::string there = placeFor(dir, entry, existing);
  const auto old = destination.find(there);
  const std::uint64_t unit = std::max<std::uint64_t>(volume.unit, 1);
  const auto rounded = [&](std::uint64_t size) { return (size + unit - 1) / unit * unit; };
  const std::uint64_t need = rounded(item.bytes.size());
  const std::uint64_t freed = old == destination.end() ? 0 : rounded(old->second.bytes.size());
  if (free_ && *free_ < need) throw RuntimeError(err::kDiskFull, destinationOf(dir, &entry));
  if (free_) *free_ -= need;
  // A replacement is written beside its old copy: both take their space meanwhile.
  const bool replacing = old != destination.end();
  replacing_ += replacing;
  mostReplacingAtOnce = std::max(mostReplacingAtOnce, replacing_);
  const bool large = item.bytes.size() >= kLargeFileBytes;
  largeWriting_ += large;
  mostLargeWrittenAtOnce = std::max(mostLargeWrittenAtOnce, largeWriting_);
  lock.unlock();
  progress.advance(item.bytes.size());
  // Long enough that other workers meet the file while it is written.
  if (replacing || large) std::this_thread::sleep_for(std::chrono::milliseconds(large ? 5 : 2));
  lock.lock();
  replacing_ -= replacing;
  largeWriting_ -= large;
  if (free_) *free_ += freed;
  destination.erase(there);
  const std::string placed = join(dir.there, entry.name);
  destination[placed] = item;
  destination[placed].identity = ++identities_;
  placed_[path] = placed;
  written.push_back(path);
  lock.unlock();
  // Another source entry that meets this copy later clashes with it in claim().
  if (folding.any()) {
    std::lock_guard claiming(dir.claimsMutex);
    dir.claims.emplace(entry.name, entry.name);
  }
}

void FakeSystem::finishFolder(Folder& dir) {
  std::lock_guard lock(mutex_);
  finished.insert(dir.relative);
}

std::string FakeSystem::destinationOf(const Folder& dir, const Entry* entry) const {
  return destinationPath(entry ? join(dir.there, entry->name) : dir.there);
}

void FakeSystem::flush() {
  std::lock_guard lock(mutex_);
  ++flushes;
}

copy::FileStamp FakeSystem::stampOf(const Entry& entry) {
  return {entry.size, entry.modified, 0, entry.identity};
}

copy::FileStamp FakeSystem::writtenStamp(Folder& dir, Entry& entry) {
  std::lock_guard lock(mutex_);
  const auto item = destination.find(join(dir.there, entry.name));
  if (item == destination.end()) return {};
  return {item->second.bytes.size(), item->second.modified, 0, item->second.identity};
}

// In short pieces of an odd length, so that lines and the header are cut anywhere.
bool FakeSystem::readRecord(const copy::LineSink& piece) const {
  if (!record) return false;
  constexpr std::size_t kPiece = 37;
  for (std::size_t at = 0; at < record->size(); at += kPiece)
    piece(std::string_view(*record).substr(at, kPiece));
  return true;
}

void FakeSystem::writeRecord(const std::function<void(const copy::LineSink&)>& produce) {
  std::string text;
  produce([&](std::string_view piece) { text.append(piece); });
  if (recordRefused) throw RuntimeError(err::kPermissionDenied, destinationPath(".dst.sha256"));
  record = std::move(text);
}

copy::ReadBackResult FakeSystem::readBack(const copy::WrittenFile& file, copy::ReadBuffers& buffers,
                                          const copy::BytesRead& read) {
  std::string relative = file.relative;
  std::replace(relative.begin(), relative.end(), kPathSeparator, '/');
  std::string wrote, gave;
  {
    std::lock_guard lock(mutex_);
    readBackFiles.insert(relative);
    const auto item = source.find(relative);
    if (item == source.end() || stampOf({"",
                                         copy::Listed::File,
                                         item->second.bytes.size(),
                                         item->second.modified,
                                         {},
                                         item->second.identity}) != file.stamp)
      return copy::ReadBackResult::SourceChanged;
    // A copy this run wrote is where it placed it; one it kept, where the source's is.
    const auto placed = placed_.find(relative);
    const auto copy = destination.find(placed == placed_.end() ? relative : placed->second);
    if (copy == destination.end()) return copy::ReadBackResult::Differs;
    wrote = item->second.bytes;
    gave = copy->second.bytes;
    if (faults.readsBackWrong.contains(relative)) gave = gave.empty() ? "?" : gave + "?";
  }
  const bool large = wrote.size() >= kLargeFileBytes;
  if (large) {
    {
      std::lock_guard lock(mutex_);
      mostLargeReadAtOnce = std::max(mostLargeReadAtOnce, ++largeReading_);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard lock(mutex_);
    --largeReading_;
  }
  const auto reader = [](const std::string& bytes) {
    return [&bytes, at = std::size_t{0}](char* buffer, std::size_t capacity) mutable {
      const std::size_t count = std::min(capacity, bytes.size() - at);
      std::copy_n(bytes.data() + at, count, buffer);
      at += count;
      return count;
    };
  };
  return copy::sameBytes(reader(wrote), reader(gave), buffers, read)
             ? copy::ReadBackResult::Same
             : copy::ReadBackResult::Differs;
}

void FakeSystem::spoil(const copy::WrittenFile& file) {
  std::string relative = file.relative;
  std::replace(relative.begin(), relative.end(), kPathSeparator, '/');
  std::lock_guard lock(mutex_);
  spoiled.insert(relative);
  if (const auto placed = placed_.find(relative); placed != placed_.end())
    destination.at(placed->second).modified = -1;
}

}  // namespace qm::fake
