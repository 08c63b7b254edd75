// The file-system object whose folder copies run while the windows stay alive.
#include "busy_copy.h"

#include "base_name.h"
#include "errors.h"
#include "os/awake.h"
#include "progress_view.h"

namespace qm {

BusyCopyObject::BusyCopyObject(Backend& ui, Copier copier)
    : ui_(ui), copier_(std::move(copier)), progress_(std::make_unique<CopyProgress>()) {}

BusyCopyObject::Copier BusyCopyObject::diskCopier() {
  return [](std::string_view source, std::string_view destination, const CopyOptions& options,
            CopyProgress& progress) {
    return copy::copyFolder(source, destination, options, &progress);
  };
}

std::string BusyCopyObject::GetBaseName(std::string_view path) {
  return platformBaseName(path);
}

void BusyCopyObject::CopyFolder(std::string_view source, std::string_view destination,
                                bool overwriteFiles) {
  // Owned copies: the work may run on another thread while the caller's strings wait.
  const std::string from(source), to(destination);
  const CopyOptions options = fileSystemObjectOptions(overwriteFiles);
  progress_->reset();
  ui_.showOutcome({});
  ui_.runWhileBusy(
      [&] {
        // The computer stays awake while the copy runs, however long that is.
        const KeepAwake awake(ui_.appTitle(), "フォルダーをコピーしています");
        last_ = copier_(from, to, options, *progress_);
      },
      *progress_);
  ui_.showOutcome(copyOutcome(last_));
  if (!last_.complete()) throw last_.error();
}

}  // namespace qm
