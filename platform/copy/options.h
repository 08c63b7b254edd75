// The policies of a folder copy, gathered in one place.
#pragma once

namespace qm {

struct CopyProgress;

struct CopyOptions {
  // Replace files that already exist in the destination. When false, an existing file
  // stops the copy with error 58.
  bool overwrite = true;
  // Leave a destination file as it is when it still holds the copy of its source: the same
  // size, a modification time equal at the destination volume's own time step (FAT 2 s,
  // exFAT 10 ms, NTFS 100 ns), the same permission bits (read-only attribute on Windows)
  // where the volume keeps them, and a time that a copy set rather than a hand edit.
  bool skipUnchanged = true;
  // Threads copying files at the same time while the folders are walked; 0 picks a
  // count from the number of processors, 1 copies everything on the calling thread.
  unsigned workers = 0;
  // Flush the destination file system once before reporting success, so that a
  // finished copy is on the disk.
  bool syncAtEnd = true;
  // Ask the file system to share the source's blocks (a reflink) before copying bytes.
  bool tryReflink = true;
  // Where the copy counts the files and bytes it found and finished; none when null.
  CopyProgress* progress = nullptr;
};

}  // namespace qm
