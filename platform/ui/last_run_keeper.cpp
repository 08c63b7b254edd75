// The last copy run kept for the window: read and shown on refresh, written after a run.
#include "last_run_keeper.h"

#include <optional>

#include "backend.h"
#include "last_run.h"
#include "last_run_line.h"

namespace qm {

void LastRunKeeper::show(std::string file, std::string_view source, std::string_view destination) {
  file_ = std::move(file);
  if (copied_) return;
  const std::optional<LastRun> run = readLastRun(file_);
  CopyOutcome outcome;
  if (run && run->source == source && run->destination == destination)
    outcome = lastRunOutcome(*run, localTimeOf(run->started));
  // A refresh runs on every mouse movement: the line is made again only when it changes.
  if (outcome.line == line_ && outcome.details == details_) return;
  line_ = outcome.line;
  details_ = outcome.details;
  if (windowShown_) ui_.showOutcome(outcome);
}

void LastRunKeeper::windowShown() {
  if (windowShown_) return;
  windowShown_ = true;
  if (!line_.empty() && !copied_) ui_.showOutcome(CopyOutcome{line_, details_});
}

void LastRunKeeper::record(const LastRun& run) {
  copied_ = true;
  line_.clear();
  details_.clear();
  if (!file_.empty()) writeLastRun(file_, run);
}

}  // namespace qm
