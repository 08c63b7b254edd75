// The one folder copy of every system: walk, plan, copy on a pool, finish folders, flush.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "copy/file_progress.h"
#include "copy/options.h"
#include "copy/primitives.h"
#include "copy/progress.h"
#include "copy/survey.h"
#include "copy/read_back.h"
#include "copy/worker_pool.h"
#include "copy/write_gate.h"
#include "errors.h"

namespace qm::copy {

// `Sys` gives the primitives listed in copy/primitives.h.
template <typename Sys>
class Pipeline {
 public:
  using Folder = typename Sys::Folder;
  using Entry = typename Sys::Entry;

  Pipeline(Sys& sys, const CopyOptions& options) : sys_(sys), options_(options) {}

  // Copies everything below the top folder, which `openTop(Folder&)` opens. The whole plan
  // is checked on a thread of its own while the copy starts beside it; nothing is written
  // until the check has passed. Each folder is listed and planned on this thread; its
  // files and other entries go to the workers in batches; a folder gets its own metadata
  // once everything inside it is written. The first failure stops the copy and is thrown
  // once all threads are done.
  template <typename OpenTop>
  void run(OpenTop openTop) {
    {
      WorkerPool<Batch> pool(workerCount(options_), kQueueCapacity,
                             [this](Batch& batch, unsigned worker) { copyBatch(batch, worker); });
      sys_.useWorkers(pool.threads() + 1);
      pool_ = &pool;
      guarded(nullptr, [&] {
        auto top = std::make_shared<Node>(*this, nullptr, std::string());
        openTop(top->folder);
        top->open = true;
        if (readsBack(options_.readBack, sys_.isRiskyMedium(top->folder))) {
          written_ = std::make_unique<WrittenFiles>();
          destination_ = sys_.destinationOf(top->folder, nullptr);
        }
        std::thread checking;
        if (options_.checkFirst) {
          gate_.hold();
          checking = std::thread([this, node = top.get()] { checkBeside(node->folder); });
        }
        guarded(nullptr, [&] { walk(top); });
        if (checking.joinable()) checking.join();
        // Nothing was written: a top folder this copy made goes again.
        if (gate_.refused()) sys_.discardTop(top->folder);
        // The figures found are the totals from here on, while the workers still copy.
        if (options_.progress && !failed())
          options_.progress->walkDone.store(true, std::memory_order_relaxed);
      });
      pool.finish();
      pool_ = nullptr;
    }
    rethrowFailure();
    // The read-back needs what it reads on the device, and the pages it drops clean.
    const bool readingBack = written_ && written_->count() > 0;
    if (options_.syncAtEnd || readingBack) sys_.flush();
    if (readingBack) {
      ReadBackRun<Sys>(sys_, options_, *written_, destination_).run();
      // Drivers write as files are read (access times): nothing waits once the copy ends.
      sys_.flush();
    }
    // Files the copy went past: the rest is copied and on the disk, and the copy fails.
    if (skipped_) throw *skipped_;
  }

 private:
  // Batches waiting for a worker: few, so that memory and open folders depend on the depth
  // of the tree and not on the number of files.
  static constexpr std::size_t kQueueCapacity = 16;
  // Entries of one folder handed out together, so that workers busy in different folders
  // wait less for each other's folder locks; a batch closes early once it holds enough
  // bytes that its files are better copied side by side.
  static constexpr std::size_t kBatchEntries = 32;
  static constexpr std::uint64_t kBatchBytes = std::uint64_t{4} << 20;

  // A folder of the copy; it is finished when the last batch of it, the last folder
  // inside it and the walk have let go of it.
  struct Node {
    Node(Pipeline& pipeline, std::shared_ptr<Node> above, std::string path)
        : run(pipeline), parent(std::move(above)), relative(std::move(path)) {}
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node() {
      if (open) run.finish(*this);
    }
    Pipeline& run;
    std::shared_ptr<Node> parent;  // keeps the folder above unfinished while this one is
    std::string relative;          // below the top, for what the user is told
    Folder folder;
    bool open = false;
  };

  struct Planned {
    Entry entry;
    Listed kind;
  };

  struct Batch {
    std::shared_ptr<Node> node;
    std::vector<Planned> entries;
    std::uint64_t bytes = 0;
  };

  // Lists `node`, hands its entries to the workers and walks into its folders. Its
  // folders are open only while it is listed and while each subfolder is opened.
  void walk(const std::shared_ptr<Node>& node) {
    std::vector<Entry> folders;
    {
      typename Sys::Lease lease(node->folder);
      plan(node, folders);
    }
    for (Entry& entry : folders) {
      if (failed()) return;
      auto child = std::make_shared<Node>(*this, node, pathOf(*node, entry));
      try {
        typename Sys::Lease lease(node->folder);
        sys_.openChild(child->folder, node->folder, entry, [this] { waitForCheck(); });
      } catch (const ClashError& error) {
        fail(error, child->relative, error.cause);
        return;
      } catch (const SourceError& error) {
        if (!wentPast(child->relative, error)) throw;
        continue;
      } catch (const LeftOutError& error) {
        leaveOut(child->relative, error.reason);
        continue;
      } catch (const RuntimeError& error) {
        // What the check refuses the copy for is what the user is told, named.
        waitForCheck();
        fail(error, child->relative);
        return;
      }
      child->open = true;
      walk(child);
    }
  }

  std::string pathOf(const Node& node, const Entry& entry) const {
    const std::string name = sys_.nameOf(entry);
    return node.relative.empty() ? name : node.relative + kPathSeparator + name;
  }

  // Checks the whole plan below `top` with a top folder of its own, while the copy reads
  // beside it, and opens the gate for writing, or refuses the copy with the first problem's
  // number where anything cannot succeed; the user is told every problem.
  void checkBeside(Folder& top) noexcept {
    bool passed = false;
    guarded(nullptr, [&] {
      Folder own;
      sys_.openSurveyTop(own, top);
      check(own);
      passed = true;
    });
    // A copy that failed meanwhile cut the check short: it has not passed.
    gate_.decide(passed && !failed());
  }

  void check(Folder& top) {
    // Folders a copy makes compare names the way of the folder they are made in, so below
    // a top folder this copy made, two names can be one only where that folder folds them.
    const bool compareNames = !sys_.madeTop(top) || sys_.namesFold(top).any();
    PlanCheck plan(sys_.limits(top), compareNames);
    Survey<Sys>(sys_, options_, plan, kept_, [this] { return failed(); }).run(top);
    // Room for one file at a time beside its old copy, but not for as many as there are
    // workers: files are replaced one at a time.
    oneReplaceAtATime_ = !plan.fitsReplacing(workerCount(options_));
    if (const auto& wide = plan.firstWideName(); wide && !sys_.takesName(top, wide->second))
      plan.refuse(err::kBadFileName, wide->first);
    if (plan.problems().empty() || failed()) return;
    for (const auto& found : plan.problems()) report(found.problem);
    if (options_.progress) options_.progress->report.countMoreFailures(plan.moreProblems());
    {
      std::lock_guard lock(mutex_);
      reported_ = true;  // the refusal below is told by the problems above
    }
    const auto& first = plan.problems().front();
    const std::string at = sys_.destinationOf(top, nullptr);
    throw RuntimeError(first.number,
                       first.problem.file.empty() ? at : at + kPathSeparator + first.problem.file);
  }

  void report(Problem problem, bool first = false) {
    if (options_.progress) options_.progress->report.addFailure(std::move(problem), first);
  }

  void leaveOut(std::string file, LeftOut reason) {
    if (options_.progress)
      options_.progress->report.addLeftOut({std::move(file), leftOutCause(reason)});
  }

  // Whether the copy goes on past a source entry it cannot read: one that vanished is no
  // longer part of it; one it cannot read is reported, and fails the copy at the end.
  bool wentPast(const std::string& file, const SourceError& error) {
    if (error.number == err::kFileNotFound) return true;
    report({file, error.cause.empty() ? numberCause(error.number, true) : error.cause});
    std::lock_guard lock(mutex_);
    if (!skipped_) skipped_ = RuntimeError(error.number, error.path);
    return true;
  }

  // What each entry of `node` becomes: a folder to walk, an entry for the workers, or
  // nothing. The listing is the check's where it kept one, else the folder is listed now.
  // A listing that refuses an entry ends the folder's plan: the entries not yet handed on
  // are dropped.
  void plan(const std::shared_ptr<Node>& node, std::vector<Entry>& folders) {
    Batch batch{node, {}};
    const auto planEntry = [&](Entry&& entry, Listed kind) {
      if (failed()) return false;
      if (kind == Listed::Folder) folders.push_back(std::move(entry));
      if (kind == Listed::LeftOut) leaveOut(pathOf(*node, entry), sys_.leftOutReason(entry));
      if (kind == Listed::Folder || kind == Listed::LeftOut) return true;
      if (kind == Listed::File) batch.bytes += sys_.listedSize(entry);
      batch.entries.push_back({std::move(entry), kind});
      if (batch.entries.size() == kBatchEntries || batch.bytes >= kBatchBytes) handOn(batch);
      return true;
    };
    if (auto listing = kept_.take(node->relative)) {
      for (auto& item : *listing)
        if (!planEntry(std::move(item.entry), item.kind)) break;
    } else {
      // Sizes close a batch of large files early, so that they are copied side by side;
      // with the check, the status read here is the one a worker would read anyway.
      sys_.list(node->folder, options_.progress != nullptr || options_.checkFirst, planEntry);
    }
    handOn(batch);
  }

  void handOn(Batch& batch) {
    if (batch.entries.empty()) return;
    if (CopyProgress* progress = options_.progress) {
      std::uint64_t files = 0;
      for (const Planned& planned : batch.entries) files += planned.kind == Listed::File;
      progress->filesFound.fetch_add(files, std::memory_order_relaxed);
      progress->bytesFound.fetch_add(batch.bytes, std::memory_order_relaxed);
    }
    Batch handed{batch.node, std::move(batch.entries), batch.bytes};
    batch.entries.clear();
    batch.bytes = 0;
    pool_->submit(std::move(handed));
  }

  void copyBatch(Batch& batch, unsigned worker) {
    if (failed()) return;
    Folder& folder = batch.node->folder;
    guarded(batch.node.get(), [&] {
      typename Sys::Lease lease(folder);
      for (Planned& planned : batch.entries) {
        if (failed()) return;
        copyEntry(*batch.node, planned, worker);
      }
    });
  }

  // Copies one entry; the copy goes on past a source file it cannot read and an entry the
  // destination cannot hold, and stops at any other failure, naming the entry.
  void copyEntry(Node& node, Planned& planned, unsigned worker) {
    try {
      if (writeEntry(node.folder, planned, worker) && written_ && planned.kind == Listed::File)
        written_->add(pathOf(node, planned.entry), sys_.stampOf(planned.entry));
    } catch (const SourceError& error) {
      wentPast(pathOf(node, planned.entry), error);
    } catch (const LeftOutError& error) {
      leaveOut(pathOf(node, planned.entry), error.reason);
    } catch (const ClashError& error) {
      fail(error, pathOf(node, planned.entry), error.cause);
    } catch (const RuntimeError& error) {
      fail(error, pathOf(node, planned.entry));
    }
  }

  // Writes one entry, or leaves it as it is where the policy and the destination allow;
  // returns whether it wrote it.
  bool writeEntry(Folder& folder, Planned& planned, unsigned worker) {
    Entry& entry = planned.entry;
    const bool file = planned.kind == Listed::File;
    FileProgress progress(file ? options_.progress : nullptr, sys_.listedSize(entry));
    std::optional<typename Sys::Existing> existing;
    FileAction action;
    try {
      existing = sys_.existing(folder, entry);
      if (existing) sys_.claim(folder, entry, *existing);
      action = decideFile(options_.existing, existing.has_value(),
                          [&] { return file && sys_.unchanged(folder, entry, *existing); });
    } catch (const RuntimeError&) {
      // What the check refuses the copy for is what the user is told, not what a worker
      // met first while the check still ran.
      waitForCheck();
      throw;
    }
    if (action == FileAction::Refuse) {
      throw RuntimeError(err::kFileExists, sys_.destinationOf(folder, &entry));
    }
    if (action == FileAction::Keep) {
      progress.finish();
      return false;
    }
    waitForCheck();
    std::unique_lock oneAtATime(replacing_, std::defer_lock);
    if (existing && oneReplaceAtATime_.load()) oneAtATime.lock();
    sys_.write(folder, entry, existing ? &*existing : nullptr, progress, worker);
    progress.finishWritten();
    return true;
  }

  // Returns once the check has passed; where it refused the copy, throws its failure.
  void waitForCheck() {
    if (gate_.pass()) return;
    std::lock_guard lock(mutex_);
    throw error_ ? *error_ : RuntimeError(err::kPathFileAccess, "");
  }

  // Gives a folder whose contents are complete its metadata, after a failure too, so that
  // the folders a failed run made are no longer held open to their owner alone. A copy the
  // check refused wrote nothing, and leaves the folders as they were.
  void finish(Node& node) noexcept {
    if (gate_.refused()) return;
    guarded(&node, [&] {
      typename Sys::Lease lease(node.folder);
      sys_.finishFolder(node.folder);
    });
  }

  // Runs `step`, keeping its failure as the copy's; an unexpected one is 75 for `folder`.
  template <typename Step>
  void guarded(const Node* node, Step step) noexcept {
    const Folder* folder = node ? &node->folder : nullptr;
    try {
      step();
    } catch (const ClashError& error) {
      fail(error, node ? node->relative : std::string(), error.cause);
    } catch (const RuntimeError& error) {
      fail(error, node ? node->relative : std::string());
    } catch (...) {
      try {
        fail(
            RuntimeError(err::kPathFileAccess, folder ? sys_.destinationOf(*folder, nullptr) : ""));
      } catch (...) {
        failed_.store(true);  // out of memory while recording it: the copy still fails
      }
    }
  }

  // Keeps the first failure, and tells the user of it; later ones are usually its
  // consequences. `file` is where it arose, below the top; `cause` what the user is told
  // of it, where the number alone does not say.
  void fail(const RuntimeError& error, const std::string& file = {}, std::string cause = {}) {
    std::lock_guard lock(mutex_);
    if (!error_) {
      error_ = RuntimeError(error.number, error.description, error.path);
      if (cause.empty()) cause = numberCause(error.number, false);
      if (options_.progress && !reported_)
        options_.progress->report.addFailure({file, std::move(cause)}, true);
    }
    failed_.store(true, std::memory_order_relaxed);
  }

  bool failed() const { return failed_.load(std::memory_order_relaxed); }

  void rethrowFailure() {
    std::lock_guard lock(mutex_);
    if (error_) throw *error_;
    if (failed_.load()) throw RuntimeError(err::kPathFileAccess, "");
  }

  Sys& sys_;
  const CopyOptions& options_;
  WorkerPool<Batch>* pool_ = nullptr;
  WriteGate gate_;
  KeptListings<Entry> kept_;  // the check's listings, for the walk
  std::mutex mutex_;
  std::optional<RuntimeError> error_;
  std::optional<RuntimeError> skipped_;    // the first source file the copy went past
  std::unique_ptr<WrittenFiles> written_;  // kept where the copy reads back what it wrote
  std::string destination_;                // the top's, for the read-back's failures
  bool reported_ = false;
  std::atomic<bool> failed_{false};
  std::atomic<bool> oneReplaceAtATime_{false};  // set by the check before it opens the gate
  std::mutex replacing_;                        // held while a file is replaced, where so
};

}  // namespace qm::copy
