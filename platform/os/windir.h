// The Windows directory, where the settings file lives.
#pragma once

namespace qm {

// Writes the Windows directory and a NUL into `buffer` when it fits in `size` bytes and
// returns its length; otherwise leaves `buffer` untouched and returns the size needed,
// NUL included. On Linux the Windows directory is the user's configuration folder.
unsigned getWindowsDirectoryA(char* buffer, unsigned size);

// The width that the lookup buffer of a window whose classic buffer holds
// `classicWidth` characters has on this system. On Windows it is that width: a
// directory that does not fit leaves the buffer's spaces. On Linux the directory is the
// user's configuration folder, as long as the user made it, so every window's buffer
// holds any path the system accepts: the copy tool finds every file the setup tool
// can write.
unsigned windowsDirectoryBufferWidth(unsigned classicWidth);

}  // namespace qm
