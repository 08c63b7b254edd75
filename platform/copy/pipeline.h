// The one folder copy of every system: walk, plan, copy on a pool, finish folders, flush.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "copy/file_progress.h"
#include "copy/large_files.h"
#include "copy/options.h"
#include "copy/packed_entries.h"
#include "copy/primitives.h"
#include "copy/progress.h"
#include "copy/survey.h"
#include "copy/read_back.h"
#include "copy/run_record.h"
#include "copy/worker_pool.h"
#include "copy/write_gate.h"
#include "errors.h"

namespace qm::copy {

// `Sys` gives the primitives listed in copy/primitives.h. Each phase of the copy is defined
// in a file of its own (copy/pipeline_*.h, included at the end of this one).
template <SystemPrimitives Sys>
class Pipeline {
 public:
  using Folder = typename Sys::Folder;
  using Entry = typename Sys::Entry;
  using Existing = typename Sys::Existing;

  // A run that keeps its record counts what it does, for the record, observed or not.
  // `keptBytes`: the budget of the check's listings kept for the walk.
  Pipeline(Sys& sys, const CopyOptions& options, std::size_t keptBytes = KeptListings::kByteBudget)
      : sys_(sys), options_(counted(options, ownProgress_)), kept_(keptBytes) {}

  // Copies everything below the top folder, which `openTop(Folder&)` opens. The whole plan
  // is checked on a thread of its own while the copy starts beside it; nothing is written
  // until the check has passed. Each folder is listed and planned on this thread; its
  // files and other entries go to the workers in batches; a folder gets its own metadata
  // once everything inside it is written. The first failure stops the copy and is thrown
  // once all threads are done.
  template <typename OpenTop>
  void run(OpenTop openTop) {
    started_ = std::time(nullptr);
    clockStarted_ = std::chrono::steady_clock::now();
    try {
      copyTree(openTop);
    } catch (const RuntimeError& failure) {
      top_.reset();
      leaveRecord(&failure);
      // A run that only went past files is on the disk as a complete one is, and a flush
      // that fails is the graver failure; after any other, the run's own failure is told.
      if (options_.syncAtEnd && skipped_ && !failed())
        sys_.flush();
      else if (readBackRan_)
        flushAfterFailure();
      throw;
    }
    leaveRecord(nullptr);
    // The record, and what drivers write as files are read back (access times): nothing
    // waits once the copy ends.
    if (options_.syncAtEnd || readBackRan_) sys_.flush();
  }

 private:
  template <typename OpenTop>
  void copyTree(OpenTop openTop) {
    {
      WorkerPool<Batch> pool(workerCount(options_), kQueueCapacity,
                             [this](Batch& batch, unsigned worker) { copyBatch(batch, worker); });
      sys_.useWorkers(pool.threads() + 1);
      pool_ = &pool;
      guarded(nullptr, [&] {
        auto top = std::make_shared<Node>(*this, nullptr, std::string());
        openTop(top->folder);
        top->open = true;
        largeFiles_.open(options_.largeFiles, sys_.medium(top->folder));
        if (readsBack(options_.readBack, sys_.isRiskyMedium(top->folder))) {
          written_ = std::make_unique<WrittenFiles>();
          destination_ = sys_.destinationOf(top->folder, nullptr);
        }
        openRecord();
        // Old copies found damaged are written again below the top once the walk is done.
        if (written_ && record_ && options_.oldCopies != OldCopies::None) top_ = top;
        std::thread checking;
        if (options_.checkFirst) {
          gate_.hold();
          kept_.expectCheck();
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
    if (readingBack) {
      const auto began = std::chrono::steady_clock::now();
      sys_.flush();
      readBackRan_ = true;
      ReadBackRun<Sys>(sys_, options_, *written_, destination_, largeFiles_, record_.get()).run();
      readBackSeconds_ =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    }
    checkOldCopies();
    // The top is finished last, and what finishing it met is the run's failure too.
    top_.reset();
    rethrowFailure();
    // Files the copy went past: the rest is copied and on the disk, and the copy fails.
    if (skipped_) throw *skipped_;
  }

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

  // The walk and its plan (copy/pipeline_walk.h).
  void walk(const std::shared_ptr<Node>& node);
  std::string pathOf(const Node& node, const Entry& entry) const;
  void plan(const std::shared_ptr<Node>& node, PackedEntries& folders);
  void handOn(Batch& batch);

  // The check beside the copy (copy/pipeline_check.h).
  void checkBeside(Folder& top) noexcept;
  void check(Folder& top);

  // The workers' writing, and each folder's finish (copy/pipeline_write.h).
  void copyBatch(Batch& batch, unsigned worker);
  void copyEntry(Node& node, Planned& planned, unsigned worker);
  bool writeEntry(Folder& folder, Planned& planned, unsigned worker, const std::string& relative);
  void waitForCheck();
  void finish(Node& node) noexcept;

  // The copy's record: the last run's, read at the start, and this run's, left at the end
  // (copy/pipeline_record.h).
  void openRecord();
  void leaveFirstRecord() noexcept;
  std::optional<OldLine> recordedLine(RunRecord::LineKey key, bool file, bool exists);
  bool unchangedByRecord(Folder& folder, Entry& entry, const Existing& existing,
                         const std::optional<OldLine>& line);
  void kept(const std::string& relative, const Entry& entry, const Existing& existing,
            const std::optional<OldLine>& line);
  void wrote(Folder& folder, const std::string& relative, Entry& entry);
  void leaveRecord(const RuntimeError* failure) noexcept;
  void readOldRecord(const LineSink& piece);
  void flushAfterFailure() noexcept;

  // Old copies read back again in turn, and those found damaged written again
  // (copy/pipeline_old_copies.h).
  class OpenedDown;
  void checkOldCopies();
  std::optional<Entry> findEntry(Folder& folder, std::string_view name, Listed kind);
  void repair(const WrittenFile& file, WrittenFiles& repaired);

  // Failures, and what the user is told of them (copy/pipeline_failures.h).
  void report(Problem problem, bool first = false);
  void leaveOut(std::string file, LeftOut reason);
  bool wentPast(const std::string& file, const SourceError& error);
  template <typename Step>
  void guarded(const Node* node, Step step) noexcept;
  void fail(const RuntimeError& error, const std::string& file = {}, std::string cause = {});
  void rethrowFailure();

  bool failed() const { return failed_.load(std::memory_order_relaxed); }

  static CopyOptions counted(CopyOptions options, std::unique_ptr<CopyProgress>& own) {
    if (options.keepRecord && !options.progress)
      options.progress = (own = std::make_unique<CopyProgress>()).get();
    return options;
  }

  Sys& sys_;
  std::unique_ptr<CopyProgress> ownProgress_;
  const CopyOptions options_;
  WorkerPool<Batch>* pool_ = nullptr;
  WriteGate gate_;
  LargeFileGate largeFiles_;  // the turns of large files, where the medium wants them
  KeptListings kept_;         // the check's listings, for the walk
  std::mutex mutex_;
  std::optional<RuntimeError> error_;
  std::optional<RuntimeError> skipped_;    // the first source file the copy went past
  std::unique_ptr<WrittenFiles> written_;  // kept where the copy reads back what it wrote
  std::string destination_;                // the top's, for the read-back's failures
  std::unique_ptr<RunRecord> record_;      // once the top is open
  std::time_t started_ = 0;
  std::chrono::steady_clock::time_point clockStarted_;
  double readBackSeconds_ = 0;  // this run's own read-back
  std::shared_ptr<Node> top_;   // held open while old copies may be repaired
  bool readBackRan_ = false;
  bool reported_ = false;
  std::atomic<bool> failed_{false};
  std::atomic<bool> oneReplaceAtATime_{false};  // set by the check before it opens the gate
  std::mutex replacing_;                        // held while a file is replaced, where so
};

}  // namespace qm::copy

#include "copy/pipeline_walk.h"
#include "copy/pipeline_check.h"
#include "copy/pipeline_write.h"
#include "copy/pipeline_failures.h"
#include "copy/pipeline_record.h"
#include "copy/pipeline_old_copies.h"
