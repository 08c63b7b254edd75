// Whole-file reads and atomic replacement of small text files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

// The most a text file read may hold: far beyond any real job of three paths, small
// enough that a runaway file never fills memory.
inline constexpr std::size_t kMaxTextFileSize = 64 * 1024;

// The bytes of a plain file of at most kMaxTextFileSize bytes. A missing file throws
// RuntimeError 53. Anything else at the path (a FIFO or pipe, a device, a folder, a
// larger file) throws 75 without blocking and without reading it; other failures the
// number their cause stands for.
std::string readWholeFile(const std::string& path);

// Replaces the file at `path` with `bytes` as one step: the bytes go to a temporary
// file beside it, are flushed to the disk, and the temporary file is renamed over
// `path`. On failure the old file is untouched and no temporary file is left.
// What the user set on the file stays: a symbolic link keeps pointing at its target,
// which is the file replaced; the replacement takes the old file's mode (attributes on
// Windows). Where no temporary file can be made beside the file (its folder takes no
// new file) but the file exists, the bytes are written into the file itself. Each save
// removes the temporary files that killed saves of ours left beside the file.
void replaceFileAtomically(const std::string& path, std::string_view bytes);

bool fileExists(const std::string& path);

}  // namespace qm
