// Whole-file reads and atomic replacement of text files, small ones whole, large ones in
// pieces.
#pragma once

#include <cstddef>
#include <functional>
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

// Files too large to hold in memory, read and written a piece at a time.
using PieceSink = std::function<void(std::string_view)>;

// Hands the bytes of the plain file at `path`, of any size, to `take` a piece at a time;
// false where there is none (a link there is not followed). Throws RuntimeError on a
// failure to read.
bool readFileInPieces(const std::string& path, const PieceSink& take);

// Replaces the file at `path` in one step, as replaceFileAtomically does, with the bytes
// `produce` hands to the writer it is given; a link at `path` is replaced, not followed,
// and where no temporary file can be made beside it the call fails. `hidden`: listings
// pass the file over where the system marks files so (its name hides it elsewhere).
void replaceFileInPieces(const std::string& path,
                         const std::function<void(const PieceSink&)>& produce, bool hidden = false);

}  // namespace qm
