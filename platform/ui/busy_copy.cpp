// The file-system object whose folder copies run while the windows stay alive.
#include "busy_copy.h"

#include "errors.h"
#include "progress_view.h"

namespace qm {

BusyCopyObject::BusyCopyObject(Backend& ui, const Factory& make)
    : ui_(ui), progress_(std::make_unique<CopyProgress>()), inner_(make(progress_.get())) {}

std::string BusyCopyObject::GetBaseName(std::string_view path) {
  return inner_->GetBaseName(path);
}

void BusyCopyObject::CopyFolder(std::string_view source, std::string_view destination,
                                bool overwriteFiles) {
  // Owned copies: the work may run on another thread while the caller's strings wait.
  const std::string from(source), to(destination);
  progress_->reset();
  ui_.showOutcome({});
  try {
    ui_.runWhileBusy([&] { inner_->CopyFolder(from, to, overwriteFiles); }, *progress_);
  } catch (const RuntimeError& failure) {
    ui_.showOutcome(copyOutcome(progress_->report, &failure));
    throw;
  }
  ui_.showOutcome(copyOutcome(progress_->report, nullptr));
}

}  // namespace qm
