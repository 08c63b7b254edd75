// What a system's copy gives the pipeline: its primitives over its own handles, by group.
#pragma once

// The types:
//
//   using Folder;    a source folder and its destination folder; default-constructed in
//                    place, never moved (a system may register its address)
//   using Entry;     one entry of a source folder, as its listing gave it
//   using Existing;  what the destination folder holds under an entry's name
//   using Lease;     constructed from a Folder&: keeps its handles open meanwhile
//
// Walking the tree:
//
//   void useWorkers(unsigned count);     workers 0..count-1 will call write()
//   void list(Folder&, bool measure, Emit emit);   calls emit(Entry&&, Listed) for each
//       entry, links resolved as the options say, and stops once emit returns false;
//       with `measure`, every File entry carries its size
//   void openChild(Folder& child, Folder& parent, Entry& folder, Gate beforeMaking);
//       makes or opens the destination of a Folder entry, calling beforeMaking() first
//       where it makes it; a cycle is a LeftOutError
//   std::string nameOf(const Entry&);    the entry's name in UTF-8
//   LeftOut leftOutReason(const Entry&);  why a LeftOut entry is left out
//   std::uint64_t listedSize(const Entry&);
//   std::uint64_t listedAllocation(const Entry&);   the bytes its data takes (less than its
//       size where it has holes)
//   std::string destinationOf(const Folder&, const Entry*);   for messages (null: folder)
//
// The check before writing:
//
//   void openSurveyTop(Folder& own, Folder& top);  the top folder again, for the check,
//       which reads it on a thread of its own
//   void openSurveyChild(Folder& child, Folder& parent, Entry& folder);  opens the source
//       folder, and its destination only where it exists: nothing is made; existing() may
//       be asked of it; 58 where a file holds its place
//   bool hasDestination(const Folder&);  whether a folder the check opened has a
//       destination folder already
//   std::vector<std::string> destinationFolders(Folder&);  the names of the real folders
//       (not links) that its destination folder holds; none where it has none
//   VolumeLimits limits(Folder& top);    what the destination volume of the copy takes
//   NameFolding namesFold(Folder&);      how the destination folder (or, where it does not
//       exist yet, the nearest one above it) compares names: by case, by forms
//   bool takesName(Folder& top, std::string_view name);   whether the destination folder
//       takes a file of that name: a probe file is made and removed
//   bool madeTop(const Folder& top);     whether this copy made the top's destination folder
//   void discardTop(Folder& top);        removes the top's destination folder where this
//       copy made it, once the check has refused the copy
//
// Writing:
//
//   std::optional<Existing> existing(Folder&, Entry&);
//   std::uint64_t existingSize(const Existing&);
//   void claim(Folder&, Entry&, const Existing&);   records that the existing entry is the
//       copy of this source entry; a ClashError where another source entry of the folder
//       met it first (the destination takes their names for one)
//   bool unchanged(Folder&, Entry&, const Existing&);   asked of File entries only; may
//       learn the destination volume's rules the first time
//   void write(Folder&, Entry&, const Existing*, FileProgress&, unsigned worker);
//   void finishFolder(Folder&);          the source folder's metadata, contents complete
//
// The volume and the read-back:
//
//   void flush();                        the destination volume, once, at the end
//   bool isRiskyMedium(Folder& top);     whether the destination's medium is the kind whose
//       data is read back by default (see ReadBack)
//   SourceStamp stampOf(const Entry&);   the state of a File entry as it was copied
//   void beforeReadBack();               drops what the system caches of the destination
//       volume as a whole (not file by file), where it can
//   ReadBackResult readBack(const WrittenFile&, ReadBuffers&, BytesRead);   reads the file's
//       copy from the device, past the system's cache, and compares it with its source
//   void spoil(const WrittenFile&);      makes a copy that came back wrong look changed to
//       the next run
//
// Primitives throw RuntimeError naming the file concerned: a SourceError where the source
// entry cannot be read (53 where it vanished), a LeftOutError for an entry the copy goes on
// without; any other failure concerns the destination and stops the copy.
