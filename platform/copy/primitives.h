// What a system's copy gives the pipeline: its primitives over its own handles, by group.
#pragma once

#include <concepts>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "copy/file_progress.h"
#include "copy/name_fold.h"
#include "copy/plan_check.h"
#include "copy/read_back_bytes.h"
#include "copy/record.h"
#include "copy/report.h"
#include "copy/written_files.h"

namespace qm::copy {

// Stand-ins for the callbacks the pipeline hands to primitives, which are its own lambdas:
// a primitive must take any callable of the kind. Only ever named, never called.
namespace archetype {

// What list() calls for each entry; false stops the listing.
template <typename Entry>
struct Emit {
  bool operator()(Entry&& entry, Listed kind) const;
};

// What openChild() calls before it makes a destination folder.
struct Gate {
  void operator()() const;
};

}  // namespace archetype

// The types.
template <typename S>
concept SystemTypes =
    // A source folder and its destination folder; default-constructed in place, never moved
    // (a system may register its address).
    std::default_initializable<typename S::Folder> &&
    // One entry of a source folder, as its listing gave it.
    std::copy_constructible<typename S::Entry> &&
    // What the destination folder holds under an entry's name.
    std::movable<typename S::Existing> &&
    // Constructed from a Folder&: keeps its handles open meanwhile.
    std::constructible_from<typename S::Lease, typename S::Folder&>;

// Walking the tree.
template <typename S>
concept WalkPrimitives = SystemTypes<S> &&
    requires(S& sys, typename S::Folder& child, typename S::Folder& parent,
             const typename S::Folder& readOnly, typename S::Entry& folder,
             const typename S::Entry& entry, unsigned count, bool measure,
             archetype::Emit<typename S::Entry> emit, archetype::Gate beforeMaking,
             std::string& bytes, std::string_view& packed) {
  // Workers 0..count-1 will call write().
  sys.useWorkers(count);
  // Calls emit(Entry&&, Listed) for each entry, links resolved as the options say, and
  // stops once emit returns false; with `measure`, every File entry carries its size.
  sys.list(parent, measure, emit);
  // Makes or opens the destination of a Folder entry, calling beforeMaking() first where
  // it makes it; a cycle is a LeftOutError.
  sys.openChild(child, parent, folder, beforeMaking);
  // The entry's name in UTF-8.
  { sys.nameOf(entry) } -> std::convertible_to<std::string>;
  // Why a LeftOut entry is left out.
  { sys.leftOutReason(entry) } -> std::same_as<LeftOut>;
  { sys.listedSize(entry) } -> std::same_as<std::uint64_t>;
  // The bytes its data takes (less than its size where it has holes).
  { sys.listedAllocation(entry) } -> std::same_as<std::uint64_t>;
  // For messages (null: the folder).
  { sys.destinationOf(readOnly, &entry) } -> std::convertible_to<std::string>;
  // An entry kept a while (the check's listings, for the walk) in as few bytes as the walk
  // and the writing need of it: pack() appends them to `bytes`; unpack() takes them back
  // from the front of `packed` and gives the entry as it was listed.
  sys.pack(entry, bytes);
  { sys.unpack(packed) } -> std::same_as<typename S::Entry>;
};

// The check before writing.
template <typename S>
concept CheckPrimitives = SystemTypes<S> &&
    requires(S& sys, typename S::Folder& own, typename S::Folder& top, typename S::Folder& child,
             typename S::Folder& parent, const typename S::Folder& readOnly,
             typename S::Entry& folder, std::string_view name) {
  // The top folder again, for the check, which reads it on a thread of its own.
  sys.openSurveyTop(own, top);
  // Opens the source folder, and its destination only where it exists: nothing is made;
  // existing() may be asked of it; 58 where a file holds its place.
  sys.openSurveyChild(child, parent, folder);
  // Whether a folder the check opened has a destination folder already.
  { sys.hasDestination(readOnly) } -> std::same_as<bool>;
  // The names of the real folders (not links) that its destination folder holds; none
  // where it has none.
  { sys.destinationFolders(parent) } -> std::same_as<std::vector<std::string>>;
  // What the destination volume of the copy takes.
  { sys.limits(top) } -> std::same_as<VolumeLimits>;
  // How the destination folder (or, where it does not exist yet, the nearest one above
  // it) compares names: by case, by forms.
  { sys.namesFold(parent) } -> std::same_as<NameFolding>;
  // Whether the destination folder takes a file of that name: a probe file is made and
  // removed.
  { sys.takesName(top, name) } -> std::same_as<bool>;
  // Whether this copy made the top's destination folder.
  { sys.madeTop(readOnly) } -> std::same_as<bool>;
  // Removes the top's destination folder where this copy made it, once the check has
  // refused the copy.
  sys.discardTop(top);
};

// Writing.
template <typename S>
concept WritePrimitives = SystemTypes<S> &&
    requires(S& sys, typename S::Folder& folder, typename S::Entry& entry,
             const typename S::Existing& existing, FileProgress& progress, unsigned worker) {
  { sys.existing(folder, entry) } -> std::same_as<std::optional<typename S::Existing>>;
  { sys.existingSize(existing) } -> std::same_as<std::uint64_t>;
  // Records that the existing entry is the copy of this source entry; a ClashError where
  // another source entry of the folder met it first (the destination takes their names
  // for one).
  sys.claim(folder, entry, existing);
  // Asked of File entries only; may learn the destination volume's rules the first time.
  { sys.unchanged(folder, entry, existing) } -> std::same_as<bool>;
  sys.write(folder, entry, &existing, progress, worker);
  // The stamp of what the destination holds for the entry, as existing() would give it.
  { sys.existingStamp(existing) } -> std::same_as<FileStamp>;
  // The stamp of the entry's copy, once write() has placed it.
  { sys.writtenStamp(folder, entry) } -> std::same_as<FileStamp>;
  // The source folder's metadata, contents complete.
  sys.finishFolder(folder);
};

// The volume and the read-back.
template <typename S>
concept ReadBackPrimitives = SystemTypes<S> &&
    requires(S& sys, typename S::Folder& top, const typename S::Entry& entry,
             const WrittenFile& file, ReadBuffers& buffers, const BytesRead& read) {
  // The destination volume, once, at the end.
  sys.flush();
  // Whether the destination's medium is the kind whose data is read back by default (see
  // ReadBack).
  { sys.isRiskyMedium(top) } -> std::same_as<bool>;
  // The kind of device that holds it, which decides how many large files go to it, and are
  // read back from it, side by side (see LargeFiles).
  { sys.medium(top) } -> std::same_as<Medium>;
  // The state of a File entry as it was copied.
  { sys.stampOf(entry) } -> std::same_as<FileStamp>;
  // Drops what the system caches of the destination volume as a whole (not file by
  // file), where it can.
  sys.beforeReadBack();
  // Reads the file's copy from the device, past the system's cache, and compares it with
  // its source.
  { sys.readBack(file, buffers, read) } -> std::same_as<ReadBackResult>;
  // Makes a copy that came back wrong look changed to the next run.
  sys.spoil(file);
};

// The copy's record beside its top folder, once the top is open.
template <typename S>
concept RecordPrimitives =
    requires(S& sys, const std::function<void(std::string_view)>& piece,
             const std::function<void(const std::function<void(std::string_view)>&)>& produce) {
  // The job the record belongs to.
  { sys.recordJob() } -> std::same_as<RecordJob>;
  // Calls piece() with the record's bytes in order, in pieces of any length; false where
  // there is none or it cannot be read to its end.
  { sys.readRecord(piece) } -> std::same_as<bool>;
  // Replaces the record, in one step and flushed to the device, with what produce()
  // hands to the writer it is given; throws RuntimeError naming the record on failure.
  sys.writeRecord(produce);
};

// Everything a system gives the pipeline (copy/pipeline.h). Primitives throw RuntimeError
// naming the file concerned: a SourceError where the source entry cannot be read (53 where
// it vanished), a LeftOutError for an entry the copy goes on without; any other failure
// concerns the destination and stops the copy.
template <typename S>
concept SystemPrimitives = WalkPrimitives<S> && CheckPrimitives<S> && WritePrimitives<S> &&
    ReadBackPrimitives<S> && RecordPrimitives<S>;

}  // namespace qm::copy
