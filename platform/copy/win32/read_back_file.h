// One written file read back from its device and compared with its source.
#pragma once

#include <string>

#include "copy/read_back.h"
#include "listing.h"

namespace qm::win32 {

// The source's state as the read-back compares it.
copy::FileStamp stampOf(const Entry& entry);

// Reads the copy `destination` of `source` from the device, unbuffered (the system's cache
// passed by), and compares the two. A destination that cannot be read throws with the
// copy's number; a source that cannot, or that no longer matches `stamp`, is SourceChanged.
copy::ReadBackResult readBackFile(const std::wstring& source, const std::wstring& destination,
                                  const copy::FileStamp& stamp, copy::ReadBuffers& buffers,
                                  const copy::BytesRead& read);

// Makes the copy `destination` that came back wrong empty, so that its size tells the next
// run it is not the source's; where that fails, removes it. Throws where neither can be
// done.
void spoilFile(const std::wstring& destination);

}  // namespace qm::win32
