// The folder copy's second pass: destination folders made or merged into, files copied or
// left as they are, folder times and attributes set once their contents are in place.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "copy/worker_pool.h"
#include "tree_copy.h"
#include "errors.h"
#include "file_copy.h"
#include "metadata.h"
#include "os/win32/error_numbers.h"
#include "os/win32/longpath.h"
#include "temporaries.h"
#include "volume.h"
#include "walk.h"

namespace qm::win32 {
namespace {

constexpr DWORD kKeptFolderAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Folder times closer than this are left alone: no file system is coarser.
constexpr Ticks kFolderTimeSlack = 20'000'000;

// Names as the Windows file systems compare them: without regard to case.
std::wstring key(std::wstring name) {
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

// Files of one folder still being written by the workers; the folder gets its times once
// none is left.
class PendingFiles {
 public:
  void add() {
    std::lock_guard lock(mutex_);
    ++count_;
  }
  void done() {
    {
      std::lock_guard lock(mutex_);
      --count_;
    }
    none_.notify_all();
  }
  void waitForNone() {
    std::unique_lock lock(mutex_);
    none_.wait(lock, [&] { return count_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable none_;
  unsigned count_ = 0;
};

// One file for a worker to write.
struct FileTask {
  std::wstring source, folder, destination;
  Entry entry;
  std::optional<Entry> existing;
  std::shared_ptr<PendingFiles> pending;
};

// Batches waiting for a worker: few, so that memory stays small however large the tree.
constexpr std::size_t kQueueCapacity = 64;

// A destination folder while the copy fills it.
struct OpenFolder {
  std::size_t plan = 0;
  bool made = false;     // made by this copy
  bool touched = false;  // entries were added, replaced or removed, or attributes changed
  Entry before;          // its times and attributes before the copy, when it existed
  DWORD volume = 0;
  std::unordered_map<std::wstring, Entry> existing;  // what it held, by key()
  std::shared_ptr<PendingFiles> pending = std::make_shared<PendingFiles>();
};

class TreeCopy {
 public:
  TreeCopy(const CopyOptions& options, Plan plan)
      : options_(options),
        plan_(std::move(plan)),
        pool_(copy::workerCount(options), kQueueCapacity,
              [this](FileTask& task, unsigned worker) { write(task, worker); }) {
    copiers_.resize(pool_.threads() + 1);
    for (FileCopier& copier : copiers_) copier.progress = options.progress;
  }

  // Folders are made and finished on this thread, in the order of the plan; their files
  // are written by the workers meanwhile. The first failure stops the copy.
  void run() {
    std::vector<OpenFolder> open;
    try {
      for (std::size_t i = 0; i < plan_.folders.size(); ++i) {
        while (!open.empty() && plan_.folders[open.back().plan].depth >= plan_.folders[i].depth) {
          finish(open.back());
          open.pop_back();
        }
        OpenFolder folder = prepare(i, open.empty() ? nullptr : &open.back());
        copyFiles(folder);
        open.push_back(std::move(folder));
      }
      for (; !open.empty(); open.pop_back()) finish(open.back());
    } catch (const RuntimeError& error) {
      fail(error);
    }
    pool_.finish();
    std::lock_guard lock(mutex_);
    if (error_) throw *error_;
  }

 private:
  // Makes the folder `index` or opens the one that is there, listing what it holds.
  OpenFolder prepare(std::size_t index, OpenFolder* parent) {
    const PlannedFolder& p = plan_.folders[index];
    OpenFolder o;
    o.plan = index;
    const Entry* known =
        parent ? find(*parent, p.destination.substr(p.destination.rfind(L'\\') + 1)) : nullptr;
    if (known && !known->isFolder()) throwNumber(err::kFileExists, p.destination);
    if (!known && CreateDirectoryW(p.destination.c_str(), nullptr)) {
      o.made = o.touched = true;
      if (parent) parent->touched = true;
      return o;
    }
    const DWORD code = known ? ERROR_ALREADY_EXISTS : GetLastError();
    if (code != ERROR_ALREADY_EXISTS) refuseFolder(code, p.destination);
    openExisting(p, o);
    return o;
  }

  // The number for a folder that could not be made: a folder that takes other entries
  // refuses the name (52), else the permission (70).
  [[noreturn]] static void refuseFolder(DWORD code, const std::wstring& path) {
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_PARAMETER) {
      const std::wstring parent = path.substr(0, path.rfind(L'\\'));
      throwNumber(folderTakesNewEntries(parent) ? err::kBadFileName : err::kPermissionDenied, path);
    }
    throwCopyError(code, path);
  }

  void openExisting(const PlannedFolder& p, OpenFolder& o) {
    Handle h = openFollowing(p.destination, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
    if (!h.valid()) throwCopyError(GetLastError(), p.destination);
    FileId id;
    if (!describe(h.get(), id, o.before)) throwCopyError(GetLastError(), p.destination);
    if (!o.before.isFolder()) throwNumber(err::kFileExists, p.destination);
    // A linked folder in the destination must not lead back into the source.
    if (o.before.isReparsePoint() && isSameOrInside(finalPathOf(h.get()), plan_.sourceFinal))
      throwNumber(err::kPathFileAccess, p.destination);
    o.volume = id.volume;
    const std::vector<Entry> entries = listFolder(h.get(), p.destination);
    h.close();
    removeStaleTemporaries(p.destination, entries);
    for (const Entry& e : entries) o.existing.emplace(key(e.name), e);
    // A read-only folder may refuse new entries on some systems: opened for the copy, the
    // source's attributes are set again at the end.
    if (o.before.attributes & FILE_ATTRIBUTE_READONLY) {
      metadataCall(
          [&] {
            return SetFileAttributesW(p.destination.c_str(),
                                      o.before.attributes & ~FILE_ATTRIBUTE_READONLY);
          },
          p.destination);
      o.touched = true;
    }
  }

  static const Entry* find(const OpenFolder& o, const std::wstring& name) {
    const auto it = o.existing.find(key(name));
    return it == o.existing.end() ? nullptr : &it->second;
  }

  void copyFiles(OpenFolder& o) {
    const PlannedFolder& p = plan_.folders[o.plan];
    for (const Entry& e : p.files) {
      if (failed_.load()) throwIfFailed();
      const std::wstring destination = p.destination + L"\\" + e.name;
      const Entry* old = find(o, e.name);
      if (old) {
        // A folder where the copy needs a file: neither a file that exists nor a missing path.
        if (old->isFolder()) throwNumber(err::kPathFileAccess, destination);
        const FileAction action = decideFile(options_.existing, true, [&] {
          return isUnchanged(e, *old, rulesFor(o, p.destination));
        });
        if (action == FileAction::Refuse) throwNumber(err::kFileExists, destination);
        if (action == FileAction::Keep) {
          countUnchanged(e);
          continue;
        }
      }
      o.pending->add();
      pool_.submit({p.source + L"\\" + e.name, p.destination, destination, e,
                    old ? std::optional<Entry>(*old) : std::nullopt, o.pending});
      o.touched = true;
    }
  }

  void countUnchanged(const Entry& e) {
    if (!options_.progress) return;
    options_.progress->filesDone.fetch_add(1, std::memory_order_relaxed);
    options_.progress->bytesDone.fetch_add(e.size, std::memory_order_relaxed);
  }

  // The rules of the volume of the existing folder `o`, learned once per volume and run.
  const VolumeRules& rulesFor(OpenFolder& o, const std::wstring& path) {
    auto it = volumes_.find(o.volume);
    if (it == volumes_.end()) {
      Handle h = openFollowing(path, FILE_READ_ATTRIBUTES);
      it = volumes_.emplace(o.volume, learnVolumeRules(h.get(), path)).first;
      o.touched = true;  // the probe came and went
    }
    return it->second;
  }

  // Gives the folder the source folder's times and attributes, once its contents are in
  // place; a folder that the copy left as it was and that has them already is not written.
  void finish(const OpenFolder& o) {
    o.pending->waitForNone();
    throwIfFailed();
    const PlannedFolder& p = plan_.folders[o.plan];
    const DWORD kept = p.self.attributes & kKeptFolderAttributes;
    const Ticks gap = o.before.written > p.self.written ? o.before.written - p.self.written
                                                        : p.self.written - o.before.written;
    if (!o.touched && gap < kFolderTimeSlack &&
        (o.before.attributes & kKeptFolderAttributes) == kept)
      return;
    // Opening for attributes is a metadata call too: a foreign folder may deny it.
    Handle h;
    metadataCall(
        [&] {
          h = Handle(CreateFileW(p.destination.c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
          return h.valid();
        },
        p.destination);
    if (h.valid()) {
      const FILETIME created = fileTimeOf(p.self.created), accessed = fileTimeOf(p.self.accessed),
                     written = fileTimeOf(p.self.written);
      metadataCall([&] { return SetFileTime(h.get(), &created, &accessed, &written); },
                   p.destination);
      h.close();
    }
    metadataCall(
        [&] {
          return SetFileAttributesW(p.destination.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
        },
        p.destination);
  }

  // Writes one file on worker `worker`; after a failure elsewhere the file is left out.
  void write(FileTask& task, unsigned worker) {
    if (!failed_.load()) {
      try {
        writeFile(copiers_[worker], task.source, task.folder, task.destination, task.entry,
                  task.existing ? &*task.existing : nullptr);
      } catch (const RuntimeError& error) {
        fail(error);
      }
    }
    task.pending->done();
  }

  // Keeps the first failure; later ones are usually its consequences.
  void fail(const RuntimeError& error) {
    std::lock_guard lock(mutex_);
    if (!error_) error_ = error;
    failed_.store(true);
  }

  void throwIfFailed() {
    std::lock_guard lock(mutex_);
    if (error_) throw *error_;
  }

  const CopyOptions& options_;
  Plan plan_;
  std::vector<FileCopier> copiers_;
  std::map<DWORD, VolumeRules> volumes_;
  std::mutex mutex_;
  std::optional<RuntimeError> error_;
  std::atomic<bool> failed_{false};
  // Last: its threads end before the rest of the copy goes.
  copy::WorkerPool<FileTask> pool_;
};

}  // namespace

void copyTree(const std::wstring& from, const std::wstring& to, const CopyOptions& options) {
  TreeCopy(options, planCopy(from, to, options.progress)).run();
}

}  // namespace qm::win32
