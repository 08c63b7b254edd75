// The Win32 primitives of the folder copy: what the copy pipeline asks of this system.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "copy/file_progress.h"
#include "copy/options.h"
#include "copy/primitives.h"
#include "file_copy.h"
#include "folder_node.h"
#include "limits.h"
#include "listing.h"
#include "copy/read_back.h"
#include "copy/run_record.h"
#include "os/win32/wide.h"
#include "read_back_file.h"
#include "volume.h"

namespace qm::win32 {

// One copy's state on this system, and the primitives the pipeline runs it with (see
// copy/primitives.h): folders by long paths, links followed, each file written beside its
// destination, flushed and renamed over it, so the flush at the end has nothing to do.
class CopySystem {
 public:
  // Lease: folders are reached by path, so nothing needs to be held open.
  struct Lease {
    explicit Lease(const DirNode&) {}
  };
  using Folder = DirNode;
  using Entry = win32::Entry;
  using Existing = win32::Entry;

  CopySystem(const CopyOptions& options, CopyBounds bounds)
      : options_(options), bounds_(std::move(bounds)) {}
  const CopyBounds& bounds() const { return bounds_; }

  void useWorkers(unsigned count) { copiers_.resize(count); }
  void list(DirNode& dir, bool measure, const EmitEntry& emit);
  void openChild(DirNode& child, DirNode& parent, Entry& folder,
                 const std::function<void()>& beforeMaking);
  static void openSurveyTop(DirNode& own, const DirNode& top) { win32::openSurveyTop(own, top); }
  void openSurveyChild(DirNode& child, DirNode& parent, Entry& folder);
  static std::vector<std::string> destinationFolders(const DirNode& dir);
  static std::string nameOf(const Entry& entry);
  static void pack(const Entry& entry, std::string& bytes) { packEntry(entry, bytes); }
  static Entry unpack(std::string_view& packed) { return unpackEntry(packed); }
  copy::VolumeLimits limits(DirNode& top);
  copy::NameFolding namesFold(DirNode& dir);
  static bool takesName(DirNode& top, std::string_view name) {
    return win32::takesName(top.destination, name);
  }
  static void discardTop(DirNode& top);
  static bool madeTop(const DirNode& top);
  static copy::LeftOut leftOutReason(const Entry& entry) { return entry.leftOut; }
  static std::uint64_t existingSize(const Entry& entry) { return entry.size; }
  std::optional<Entry> existing(const DirNode& dir, const Entry& entry);
  static void claim(DirNode& dir, const Entry& entry, const Entry& existing) {
    dir.claim(existing.name, entry.name);
  }
  bool unchanged(DirNode& dir, const Entry& entry, const Entry& existing);
  static std::uint64_t listedSize(const Entry& entry) { return entry.size; }
  static std::uint64_t listedAllocation(const Entry& entry) { return entry.size; }
  static bool hasDestination(const DirNode& dir) { return dir.hasDestination; }
  void write(DirNode& dir, Entry& entry, const Entry* existing, copy::FileProgress& progress,
             unsigned worker);
  static copy::FileStamp existingStamp(const Entry& existing) { return win32::stampOf(existing); }
  static copy::FileStamp writtenStamp(const DirNode& dir, const Entry& entry);
  void finishFolder(DirNode& dir);
  std::string destinationOf(const DirNode& dir, const Entry* entry) const;
  void flush() {}
  bool isRiskyMedium(DirNode& top);
  static Medium medium(DirNode& top);
  static copy::FileStamp stampOf(const Entry& entry);
  // Unbuffered reads pass the cache file by file: nothing to drop as a whole.
  static void beforeReadBack() {}
  copy::ReadBackResult readBack(const copy::WrittenFile& file, copy::ReadBuffers& buffers,
                                const copy::BytesRead& read);
  void spoil(const copy::WrittenFile& file);
  // Keeps the top folder's paths for the read-back.
  void keepTop(const DirNode& top);
  copy::RecordJob recordJob() const {
    return copy::recordJobOf(narrow(sourceTop_), narrow(destinationTop_));
  }
  bool readRecord(const copy::LineSink& piece) const {
    return copy::readRecordFile(copy::recordPathOf(narrow(destinationTop_)), piece);
  }
  void writeRecord(const std::function<void(const copy::LineSink&)>& produce) const {
    copy::writeRecordFile(copy::recordPathOf(narrow(destinationTop_)), produce);
  }

 private:
  // The rules of the volume of the existing folder `dir`, learned once per volume and run.
  const VolumeRules& rulesFor(DirNode& dir);

  const CopyOptions& options_;
  const CopyBounds bounds_;
  std::vector<FileCopier> copiers_;
  std::mutex mutex_;
  std::map<DWORD, VolumeRules> volumes_;
  std::wstring sourceTop_, destinationTop_;
};
static_assert(copy::SystemPrimitives<CopySystem>);

}  // namespace qm::win32
