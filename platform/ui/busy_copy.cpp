// The file-system object whose folder copies run while the windows stay alive.
#include "busy_copy.h"

#include <chrono>

#include "base_name.h"
#include "errors.h"
#include "last_run.h"
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
  const auto started = std::chrono::system_clock::now();
  const auto clock = std::chrono::steady_clock::now();
  ui_.runWhileBusy(
      [&] {
        // The computer stays awake while the copy runs, however long that is.
        const KeepAwake awake(ui_.appTitle(), "フォルダーをコピーしています");
        last_ = copier_(from, to, options, *progress_);
      },
      *progress_);
  using std::chrono::duration_cast;
  ui_.lastRun().record(lastRunOf(
      from, to, duration_cast<std::chrono::seconds>(started.time_since_epoch()).count(),
      duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - clock).count(),
      last_));
  ui_.showOutcome(copyOutcome(last_));
  if (!last_.complete()) throw last_.error();
}

}  // namespace qm
