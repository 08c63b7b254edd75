// Whole-file reads and atomic replacement of small text files.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The bytes of a file. A missing file throws RuntimeError 53; other failures the
// number their cause stands for.
std::string readWholeFile(const std::string& path);

// Replaces the file at `path` with `bytes` as one step: the bytes go to a temporary
// file beside it, are flushed to the disk, and the temporary file is renamed over
// `path`. On failure the old file is untouched and no temporary file is left.
void replaceFileAtomically(const std::string& path, std::string_view bytes);

bool fileExists(const std::string& path);

}  // namespace qm
