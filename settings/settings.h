// The settings store: where Copy.Copy lives, and its three records.
#pragma once

#include <cstddef>
#include <string>

#include "controls.h"

namespace qm {

// The copy job, stored in this order.
struct CopySettings {
  std::string SourcePath;
  std::string DestinationPath;
  std::string BaseName;
};

// Widths of the windows' Windows-directory buffers.
inline constexpr unsigned kSetupToolBufferWidth = 255;
inline constexpr unsigned kCopyToolBufferWidth = 100;

inline constexpr const char* kSettingsFileName = "Copy.Copy";

// Looks up the Windows directory through a buffer of `bufferWidth` characters and the
// window's txtWinDir, which afterwards holds the result.
std::string lookupWindowsDirectory(TextBox& txtWinDir, unsigned bufferWidth);

// The Windows directory, a separator and "Copy.Copy"; txtWinDir holds the directory.
std::string settingsPath(TextBox& txtWinDir, unsigned bufferWidth);

// Replaces the file at `path` with the three records. A value that the file cannot hold
// faithfully throws RuntimeError 5 before anything is written; a failed write leaves the
// previous file as it was.
void writeSettings(const std::string& path, const CopySettings& job);

// Reads the three records into `job` in order, each stored as soon as it is read; a
// short file throws RuntimeError 62 after storing the fields before it.
void readSettings(const std::string& path, CopySettings& job);

bool settingsFileExists(const std::string& path);

}  // namespace qm
