// The one way a copy writes an entry: made and filled beside the old one, which it
// replaces only once complete.
#pragma once

#include <concepts>

namespace qm::copy {

// What a system does for one entry, in the order the protocol runs it. `Pending` is the
// new entry under way: it removes itself unless it was placed, so that a failure at any
// step leaves the old entry as it was and nothing of the new one.
template <typename Steps>
concept WriteSteps = requires(Steps steps, typename Steps::Pending& pending) {
  // The new entry: under a temporary name where an old one is there to protect (on a
  // system that can, under its own name where nothing is), created exclusively.
  { steps.create() } -> std::same_as<typename Steps::Pending>;
  // Its bytes and what else the file holds; throws ChangedWhileRead where the source
  // changed while it was read.
  steps.moveData(pending);
  // The metadata the open entry takes, then closed; a failure is thrown naming the file.
  steps.seal(pending);
  // Renamed onto its own name: over what is there only where the copy may replace it
  // (never under Refuse), and never over another name the folder takes for this one.
  steps.place(pending);
  // What a rename loses, or a system sets only on a placed entry (times, attributes).
  steps.afterPlace(pending);
};

template <WriteSteps Steps>
void writeByProtocol(Steps& steps) {
  typename Steps::Pending pending = steps.create();
  steps.moveData(pending);
  steps.seal(pending);
  steps.place(pending);
  steps.afterPlace(pending);
}

}  // namespace qm::copy
