// Packed entries, and the folder a scratch file that cannot be read back names.
#include "packed_entries.h"

#include "errors.h"

namespace qm::copy {

bool PackedEntries::next(std::string& entry) {
  const ScratchRecords::Read read = records_.next(entry);
  if (read == ScratchRecords::Read::Lost) throw RuntimeError(err::kDeviceIo, folder_);
  return read == ScratchRecords::Read::Record;
}

}  // namespace qm::copy
