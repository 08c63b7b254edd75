// What a failed creation of a named entry in a destination folder means.
#pragma once

namespace qm::posix {

// The error number for errno `code` from creating an entry in the open folder `dirFd`.
// FAT drivers answer EPERM, EACCES or ENOENT for names they refuse, so those are checked
// against the folder itself: when it still takes a file under a name of ours, the volume
// refused the entry, not us, and the number is `refusedNumber` (52 for a file or folder
// name; 75 where the volume cannot hold the kind of entry, such as a link). Otherwise as
// nameErrorNumber. With `dirFd` -1 nothing is checked.
int createErrorNumber(int dirFd, int code, int refusedNumber);

}  // namespace qm::posix
