// The Windows directory, where the settings file lives.
#pragma once

namespace qm {

// Writes the Windows directory and a NUL into `buffer` when it fits in `size` bytes and
// returns its length; otherwise leaves `buffer` untouched and returns the size needed,
// NUL included. On Linux the Windows directory is the user's configuration folder.
unsigned getWindowsDirectoryA(char* buffer, unsigned size);

}  // namespace qm
