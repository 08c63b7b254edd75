// The file-system object whose folder copies run while the windows stay alive.
#include "busy_copy.h"

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
  ui_.runWhileBusy([&] { inner_->CopyFolder(from, to, overwriteFiles); }, *progress_);
}

}  // namespace qm
