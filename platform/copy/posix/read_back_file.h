// One written file read back from its device and compared with its source.
#pragma once

#include <sys/stat.h>

#include <string>

#include "copy/read_back.h"

namespace qm::posix {

// The source's state as the read-back compares it.
copy::FileStamp stampOf(const struct stat& st);

// Reads the copy `destination` of `source` from the device (its cached pages, clean once
// the volume is flushed, are dropped first) and compares the two. A destination that cannot be read
// throws with the copy's number; a source that cannot, or that no longer matches `stamp`, is
// SourceChanged.
copy::ReadBackResult readBackFile(const std::string& source, const std::string& destination,
                                  const copy::FileStamp& stamp, copy::ReadBuffers& buffers,
                                  const copy::BytesRead& read);

// Drops the clean pages the system caches of the block device `device` (empty: none), as
// the reads of a FUSE driver that serves a volume from it leave them; where this process
// may not open the device, nothing.
void dropDeviceCache(const std::string& device);

// Makes the copy `destination` that came back wrong empty, so that its size tells the next
// run it is not the source's; where that fails, removes it. Throws where neither can be
// done.
void spoilFile(const std::string& destination);

}  // namespace qm::posix
