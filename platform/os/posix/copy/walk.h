// Copies a whole folder tree: one walker creates folders, worker threads copy the rest.
#pragma once

#include <memory>

#include "copy_run.h"
#include "folder_node.h"

namespace qm::fs {

// Copies everything below `root` (whose destination folder is already open). Errors are
// recorded in `run`; the copy stops at the first one. Returns when all threads are done
// and every destination folder has its final permission bits and times.
void copyTree(CopyRun& run, std::shared_ptr<DirNode> root);

}  // namespace qm::fs
