// Runs a folder copy on the system's engine and gathers what it returns.
#include "copy/result.h"

#include <memory>

#include "copy/copy_folder.h"

namespace qm::copy {

CopyResult resultOf(const CopyProgress& progress, const RuntimeError* failure) {
  CopyResult result;
  if (failure) {
    result.number = failure->number;
    result.description = failure->description;
    result.path = failure->path;
  }
  CopyCounts& counts = result.counts;
  counts.found = progress.filesFound.load();
  counts.bytesFound = progress.bytesFound.load();
  counts.written = progress.filesWritten.load();
  counts.unchanged = progress.filesDone.load() - counts.written;
  counts.readBack = progress.filesChecked.load();
  result.failures = progress.report.failures();
  counts.failed = progress.report.failureCount();
  if (failure && result.failures.empty()) {
    result.failures.push_back({failure->path, numberCause(failure->number, false)});
    counts.failed = 1;
  }
  result.leftOut = progress.report.leftOut();
  counts.leftOut = progress.report.leftOutCount();
  result.repaired = progress.report.repaired();
  counts.repaired = progress.report.repairedCount();
  return result;
}

CopyResult copyFolder(std::string_view source, std::string_view destination,
                      const CopyOptions& options, CopyProgress* observer) {
  // The counters are the result's source, so a run without an observer counts too.
  std::unique_ptr<CopyProgress> own;
  if (observer == nullptr) observer = (own = std::make_unique<CopyProgress>()).get();
  observer->reset();
  CopyOptions counted = options;
  counted.progress = observer;
  try {
    copyFolderOrThrow(source, destination, counted);
  } catch (const RuntimeError& failure) {
    return resultOf(*observer, &failure);
  }
  return resultOf(*observer, nullptr);
}

}  // namespace qm::copy
