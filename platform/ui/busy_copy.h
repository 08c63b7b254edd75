// The file-system object the windows get: folder copies that leave the windows alive.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "backend.h"
#include "ui/filesystem.h"
#include "copy/progress.h"
#include "copy/result.h"

namespace qm {

// Its CopyFolder runs the copy through Backend::runWhileBusy, keeping the computer awake
// and counting into progress of its own, so the window that called it keeps painting, shows how far
// the copy is and takes no input until it has ended; then the window shows the result it is handed
// (which files failed, which were left out), and a failed copy throws its error, as the windows'
// handlers expect.
class BusyCopyObject : public FileSystemObject {
 public:
  // Runs one copy, counting into the progress it is given: the disk's by default.
  using Copier =
      std::function<copy::CopyResult(std::string_view source, std::string_view destination,
                                     const CopyOptions& options, CopyProgress&)>;

  explicit BusyCopyObject(Backend& ui, Copier copier = diskCopier());

  std::string GetBaseName(std::string_view path) override;
  void CopyFolder(std::string_view source, std::string_view destination,
                  bool overwriteFiles) override;

  const CopyProgress& progress() const { return *progress_; }
  // What the last copy returned; empty and complete before the first.
  const copy::CopyResult& lastResult() const { return last_; }

  static Copier diskCopier();

 private:
  Backend& ui_;
  Copier copier_;
  std::unique_ptr<CopyProgress> progress_;  // read by the window while the copy runs
  copy::CopyResult last_;
};

}  // namespace qm
