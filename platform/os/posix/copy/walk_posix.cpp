// Walks the source tree depth first, creating folders, and feeds entries to worker threads.
#include "walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "copy/progress.h"
#include "copy/worker_pool.h"
#include "copy_run.h"
#include "file_copy.h"
#include "os/posix/error_numbers.h"

namespace qm::fs {

namespace {

// Batches waiting for a worker. Few, so that memory and open folders depend on the depth
// of the tree and not on the number of files.
constexpr size_t kQueueCapacity = 16;
// Entries of one folder handed out together. Creating files takes a lock on their folder,
// so workers busy in different folders wait less for each other.
constexpr size_t kBatchSize = 32;

// A subfolder to walk: listed as a folder, or a link to one that the copy follows.
struct Subfolder {
  std::string name;
  bool followed = false;
};

struct Task {
  std::shared_ptr<DirNode> dir;
  std::vector<Entry> entries;
};

void runTask(CopyRun& run, Task& task) {
  if (run.failed()) return;
  try {
    FolderLease lease(*task.dir);
    for (Entry& entry : task.entries) {
      if (run.failed()) return;
      copyEntry(*task.dir, entry);
    }
  } catch (const RuntimeError& error) {
    run.fail(error);
  } catch (const std::exception&) {
    run.fail(RuntimeError(err::kPathFileAccess, task.dir->destinationPath));
  }
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

std::unique_ptr<DIR, DirCloser> openListing(const DirNode& dir) {
  // A duplicate shares the folder's open description (not listed before): no second open
  // on slow volumes.
  const int listFd = ::fcntl(dir.sourceFd(), F_DUPFD_CLOEXEC, 0);
  if (listFd < 0) throwCopyError(errno, dir.sourcePath);
  std::unique_ptr<DIR, DirCloser> listing(::fdopendir(listFd));
  if (!listing) {
    const int error = errno;
    ::close(listFd);
    throwCopyError(error, dir.sourcePath);
  }
  return listing;
}

class Walker {
 public:
  Walker(CopyRun& run, std::function<void(Task)> submit)
      : run_(run), submit_(std::move(submit)), counting_(run.options().progress != nullptr) {}

  // Copies everything below `dir`. Its folders are open only while it is listed and while
  // each subfolder is created, never while the walk is deeper down.
  void walk(const std::shared_ptr<DirNode>& dir) {
    std::vector<Subfolder> folders;
    {
      FolderLease lease(*dir);
      list(dir, folders);
    }
    for (const Subfolder& folder : folders) {
      if (run_.failed()) return;
      std::shared_ptr<DirNode> child;
      {
        FolderLease lease(*dir);
        child = openChildNode(dir, folder.name, folder.followed);
      }
      walk(child);
    }
  }

 private:
  // Hands the entries of `dir` that are not folders to the workers, and collects the
  // names of its subfolders in `folders`.
  void list(const std::shared_ptr<DirNode>& dir, std::vector<Subfolder>& folders) {
    const bool follow = followsLink(run_.options().links, dir->volume->keepsLinks, true);
    const auto listing = openListing(*dir);
    Task batch{dir, {}};
    while (!run_.failed()) {
      errno = 0;
      const dirent* entry = ::readdir(listing.get());
      if (entry == nullptr) {
        if (errno != 0) throwCopyError(errno, dir->sourcePath);
        break;
      }
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (entry->d_type == DT_DIR) {
        folders.push_back({std::move(name)});
        continue;
      }
      Entry listed{std::move(name), {}, false, entry->d_type == DT_REG};
      if (counting_ || entry->d_type == DT_UNKNOWN || (follow && entry->d_type == DT_LNK)) {
        statEntry(*dir, listed, follow);
        if (S_ISDIR(listed.st.st_mode)) {
          folders.push_back({std::move(listed.name), listed.followed});
          continue;
        }
      }
      batch.entries.push_back(std::move(listed));
      if (batch.entries.size() == kBatchSize) flush(batch);
    }
    flush(batch);
  }

  // Reads the status of `entry`; with `follow`, a link's is the status of what it points
  // to, and a link that points nowhere is 53.
  static void statEntry(const DirNode& dir, Entry& entry, bool follow) {
    if (::fstatat(dir.sourceFd(), entry.name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
      throwCopyError(errno, dir.sourceChild(entry.name));
    }
    entry.statted = true;
    if (!follow || !S_ISLNK(entry.st.st_mode)) return;
    if (::fstatat(dir.sourceFd(), entry.name.c_str(), &entry.st, 0) != 0) {
      throwCopyError(errno == ELOOP ? EINVAL : errno, dir.sourceChild(entry.name));
    }
    entry.followed = true;
  }

  void flush(Task& batch) {
    if (batch.entries.empty()) return;
    if (CopyProgress* progress = run_.options().progress) {
      std::uint64_t files = 0;
      std::uint64_t bytes = 0;
      for (const Entry& entry : batch.entries) {
        if (!entry.statted || !S_ISREG(entry.st.st_mode)) continue;
        ++files;
        bytes += static_cast<std::uint64_t>(entry.st.st_size);
      }
      progress->filesFound.fetch_add(files, std::memory_order_relaxed);
      progress->bytesFound.fetch_add(bytes, std::memory_order_relaxed);
    }
    submit_(Task{batch.dir, std::move(batch.entries)});
    batch.entries.clear();
  }

  CopyRun& run_;
  std::function<void(Task)> submit_;
  // Sizes are counted as the walk finds files: only then does it read every status.
  const bool counting_;
};

void walkRecordingErrors(CopyRun& run, Walker& walker, std::shared_ptr<DirNode> root) {
  try {
    walker.walk(root);
    if (CopyProgress* progress = run.options().progress; progress && !run.failed()) {
      progress->walkDone.store(true, std::memory_order_relaxed);
    }
  } catch (const RuntimeError& error) {
    run.fail(error);
  } catch (const std::exception&) {
    run.fail(RuntimeError(err::kPathFileAccess, root->destinationPath));
  }
}

}  // namespace

void copyTree(CopyRun& run, std::shared_ptr<DirNode> root) {
  copy::WorkerPool<Task> pool(copy::workerCount(run.options()), kQueueCapacity,
                              [&run](Task& task, unsigned) { runTask(run, task); });
  Walker walker(run, [&pool](Task task) { pool.submit(std::move(task)); });
  walkRecordingErrors(run, walker, std::move(root));
  pool.finish();
}

}  // namespace qm::fs
