// The file-system object the windows get: folder copies that leave the windows alive.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "backend.h"
#include "copy/filesystem.h"
#include "copy/progress.h"

namespace qm {

// Wraps the object that does the work (the disk's): its CopyFolder runs through
// Backend::runWhileBusy, counting into progress of its own, so the window that called
// it keeps painting, shows how far the copy is and takes no input until it has ended;
// then the window shows what became of the copy (which files failed, which were left out).
// Base names pass straight through.
class BusyCopyObject : public FileSystemObject {
 public:
  // Makes the working object, counting its copies into the progress it is given.
  using Factory = std::function<std::unique_ptr<FileSystemObject>(CopyProgress*)>;

  BusyCopyObject(Backend& ui, const Factory& make);

  std::string GetBaseName(std::string_view path) override;
  void CopyFolder(std::string_view source, std::string_view destination,
                  bool overwriteFiles) override;

  const CopyProgress& progress() const { return *progress_; }

 private:
  Backend& ui_;
  std::unique_ptr<CopyProgress> progress_;  // outlives inner_, which counts into it
  std::unique_ptr<FileSystemObject> inner_;
};

}  // namespace qm
