// The settings store: where Copy.Copy lives, and its three records.
#pragma once

#include <string>
#include <string_view>

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
// The copy tool's last run of the job, beside the settings file: on the computer, not on
// the destination, which may be a stick that is not plugged in.
inline constexpr const char* kLastRunFileName = "Copy.Last";

// The Windows directory as a window's fixed-length buffer of `bufferWidth` characters
// holds it after the lookup, cut at the NUL the lookup writes after the directory: the
// bare directory, or the buffer's spaces when the directory does not fit (on Linux the
// buffer holds any path; see windowsDirectoryBufferWidth). The window shows it in its
// own txtWinDir.
std::string lookupWindowsDirectory(unsigned bufferWidth);

// The settings file in `windowsDirectory`: the directory, a separator and "Copy.Copy".
std::string settingsPath(std::string_view windowsDirectory);

// The last-run file in `windowsDirectory`: the directory, a separator and "Copy.Last".
std::string lastRunPath(std::string_view windowsDirectory);

// Replaces the file at `path` with the three records: in the ANSI code page when it
// holds all three values, else as UTF-8 after a byte-order mark. A value that the file
// cannot hold faithfully (a double quote, a line break, a NUL, bytes that are not
// UTF-8) throws RuntimeError 5 before anything is written; a failed write leaves the
// previous file as it was.
void writeSettings(const std::string& path, const CopySettings& job);

// The three records of the file at `path`, all or nothing: a file that starts with a
// UTF-8 byte-order mark is read as UTF-8, any other in the ANSI code page. A missing
// file throws RuntimeError 53, a short one 62, a damaged one another number.
CopySettings readSettings(const std::string& path);

bool settingsFileExists(const std::string& path);

}  // namespace qm
