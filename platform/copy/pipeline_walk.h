// The copy's walk: each folder listed and planned, its entries handed on in batches.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "copy/pipeline.h"

namespace qm::copy {

// Lists `node`, hands its entries to the workers and walks into its folders. Its
// folders are open only while it is listed and while each subfolder is opened.
template <SystemPrimitives Sys>
void Pipeline<Sys>::walk(const std::shared_ptr<Node>& node) {
  PackedEntries folders(sys_.destinationOf(node->folder, nullptr));
  {
    typename Sys::Lease lease(node->folder);
    plan(node, folders);
  }
  for (std::string packed; !failed() && folders.next(packed);) {
    std::string_view bytes = packed;
    Entry entry = sys_.unpack(bytes);
    auto child = std::make_shared<Node>(*this, node, pathOf(*node, entry));
    try {
      typename Sys::Lease lease(node->folder);
      sys_.openChild(child->folder, node->folder, entry, [this] { waitForCheck(); });
    } catch (const ClashError& error) {
      waitForCheck();  // a clash the check finds too is told once, as the check tells it
      fail(error, child->relative, error.cause);
      return;
    } catch (const SourceError& error) {
      if (!wentPast(child->relative, error)) throw;
      continue;
    } catch (const LeftOutError& error) {
      leaveOut(child->relative, error.reason);
      continue;
    } catch (const RuntimeError& error) {
      // What the check refuses the copy for is what the user is told, named.
      waitForCheck();
      fail(error, child->relative);
      return;
    }
    child->open = true;
    walk(child);
  }
}

template <SystemPrimitives Sys>
std::string Pipeline<Sys>::pathOf(const Node& node, const Entry& entry) const {
  const std::string name = sys_.nameOf(entry);
  return node.relative.empty() ? name : node.relative + kPathSeparator + name;
}

// What each entry of `node` becomes: a folder to walk, an entry for the workers, or
// nothing. The listing is the check's where it keeps one (the top's it never keeps), else
// the folder is listed now.
// A listing that refuses an entry ends the folder's plan: the entries not yet handed on
// are dropped.
template <SystemPrimitives Sys>
void Pipeline<Sys>::plan(const std::shared_ptr<Node>& node, PackedEntries& folders) {
  Batch batch{node, {}};
  const auto planEntry = [&](Entry&& entry, Listed kind) {
    if (failed()) return false;
    if (kind == Listed::Folder) folders.add([&](std::string& into) { sys_.pack(entry, into); });
    if (kind == Listed::LeftOut) leaveOut(pathOf(*node, entry), sys_.leftOutReason(entry));
    if (kind == Listed::Folder || kind == Listed::LeftOut) return true;
    if (kind == Listed::File) batch.bytes += sys_.listedSize(entry);
    batch.entries.push_back({std::move(entry), kind});
    if (batch.entries.size() == kBatchEntries || batch.bytes >= kBatchBytes) handOn(batch);
    return true;
  };
  if (const auto listing = kept_.take(node->relative, !node->relative.empty())) {
    listing->each([&](Listed kind, std::string_view& packed) {
      return planEntry(sys_.unpack(packed), kind);
    });
  } else {
    // Sizes close a batch of large files early, so that they are copied side by side;
    // with the check, the status read here is the one a worker would read anyway.
    sys_.list(node->folder, options_.progress != nullptr || options_.checkFirst, planEntry);
  }
  handOn(batch);
}

template <SystemPrimitives Sys>
void Pipeline<Sys>::handOn(Batch& batch) {
  if (batch.entries.empty()) return;
  if (CopyProgress* progress = options_.progress) {
    std::uint64_t files = 0;
    for (const Planned& planned : batch.entries) files += planned.kind == Listed::File;
    progress->filesFound.fetch_add(files, std::memory_order_relaxed);
    progress->bytesFound.fetch_add(batch.bytes, std::memory_order_relaxed);
  }
  Batch handed{batch.node, std::move(batch.entries), batch.bytes};
  batch.entries.clear();
  batch.bytes = 0;
  pool_->submit(std::move(handed));
}

}  // namespace qm::copy
