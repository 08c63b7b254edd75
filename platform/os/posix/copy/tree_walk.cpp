// Walks the source tree depth first, creating folders, and feeds entries to worker threads.
#include "tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "bounded_queue.h"
#include "error_numbers.h"
#include "entry_copy.h"

namespace qm::fs {

namespace {

// Batches waiting for a worker. Few, so that memory and open folders depend on the depth
// of the tree and not on the number of files.
constexpr size_t kQueueCapacity = 16;
// Entries of one folder handed out together. Creating files takes a lock on their folder,
// so workers busy in different folders wait less for each other.
constexpr size_t kBatchSize = 32;

struct Task {
  std::shared_ptr<DirNode> dir;
  std::vector<std::string> names;
};

void runTask(CopyRun& run, const Task& task) {
  for (const std::string& name : task.names) {
    if (run.failed()) return;
    try {
      copyEntry(*task.dir, name);
    } catch (const RuntimeError& error) {
      run.fail(error);
    } catch (const std::exception&) {
      run.fail(RuntimeError(err::kPathFileAccess, task.dir->destinationChild(name)));
    }
  }
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

bool isFolder(const DirNode& dir, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
  struct stat st {};
  if (::fstatat(dir.source.get(), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    throwCopyError(errno, dir.sourceChild(entry.d_name));
  }
  return S_ISDIR(st.st_mode);
}

std::shared_ptr<DirNode> openFolder(const std::shared_ptr<DirNode>& parent,
                                    const std::string& name) {
  auto node = std::make_shared<DirNode>();
  node->parent = parent;
  node->run = parent->run;
  node->sourcePath = parent->sourceChild(name);
  node->destinationPath = parent->destinationChild(name);
  node->source = UniqueFd(::openat(parent->source.get(), name.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!node->source.valid()) throwCopyError(errno, node->sourcePath);
  if (::fstat(node->source.get(), &node->sourceStat) != 0) {
    throwCopyError(errno, node->sourcePath);
  }
  openDestinationFolder(*node, parent->destination.get(), name.c_str(), O_NOFOLLOW);
  return node;
}

class Walker {
 public:
  Walker(CopyRun& run, std::function<void(Task)> submit) : run_(run), submit_(std::move(submit)) {}

  void walk(const std::shared_ptr<DirNode>& dir) {
    Task batch{dir, {}};
    const int listFd = ::fcntl(dir->source.get(), F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) throwCopyError(errno, dir->sourcePath);
    std::unique_ptr<DIR, DirCloser> listing(::fdopendir(listFd));
    if (!listing) {
      const int error = errno;
      ::close(listFd);
      throwCopyError(error, dir->sourcePath);
    }
    while (!run_.failed()) {
      errno = 0;
      const dirent* entry = ::readdir(listing.get());
      if (entry == nullptr) {
        if (errno != 0) throwCopyError(errno, dir->sourcePath);
        break;
      }
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (isFolder(*dir, *entry)) {
        flush(batch);
        walk(openFolder(dir, name));
      } else {
        batch.names.push_back(std::move(name));
        if (batch.names.size() == kBatchSize) flush(batch);
      }
    }
    flush(batch);
  }

 private:
  void flush(Task& batch) {
    if (batch.names.empty()) return;
    submit_(Task{batch.dir, std::move(batch.names)});
    batch.names.clear();
  }

  CopyRun& run_;
  std::function<void(Task)> submit_;
};

void walkRecordingErrors(CopyRun& run, Walker& walker, std::shared_ptr<DirNode> root) {
  try {
    walker.walk(root);
  } catch (const RuntimeError& error) {
    run.fail(error);
  } catch (const std::exception&) {
    run.fail(RuntimeError(err::kPathFileAccess, root->destinationPath));
  }
}

}  // namespace

unsigned workerCount(const CopyOptions& options) {
  if (options.workers != 0) return options.workers;
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp(processors * 2, 2u, 8u);
}

namespace {

void workLoop(CopyRun& run, BoundedQueue<Task>& queue) {
  Task task;
  while (queue.pop(task)) {
    runTask(run, task);
    task = Task{};  // let go of the folder before waiting for more work
  }
}

// Starts up to `count` workers; fewer when the system refuses more threads.
std::vector<std::jthread> startWorkers(unsigned count, CopyRun& run, BoundedQueue<Task>& queue) {
  std::vector<std::jthread> threads;
  for (unsigned i = 0; i < count; ++i) {
    try {
      threads.emplace_back([&run, &queue] { workLoop(run, queue); });
    } catch (const std::system_error&) {
      break;
    }
  }
  return threads;
}

}  // namespace

void copyTree(CopyRun& run, std::shared_ptr<DirNode> root) {
  BoundedQueue<Task> queue(kQueueCapacity);
  const unsigned workers = workerCount(run.options());
  std::vector<std::jthread> threads;
  if (workers > 1) threads = startWorkers(workers, run, queue);
  if (threads.empty()) {
    Walker walker(run, [&run](Task task) { runTask(run, task); });
    walkRecordingErrors(run, walker, std::move(root));
    return;
  }
  Walker walker(run, [&queue](Task task) { queue.push(std::move(task)); });
  walkRecordingErrors(run, walker, std::move(root));
  queue.close();
  threads.clear();  // joins
}

}  // namespace qm::fs
