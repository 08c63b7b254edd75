// Packed entries held in memory and, past a few, in a scratch file of this process.
#include "packed_entries.h"

#include <cstdint>
#include <cstring>

#include "errors.h"
#include "os/scratch.h"

namespace qm::copy {

namespace {

// What a file offset reaches on every system (a long is 32 bits on 32-bit Windows).
constexpr long kMaxStored = 0x7FFFFFFFL;

// Each entry: its length, then its bytes.
using Length = std::uint32_t;

}  // namespace

PackedEntries::~PackedEntries() {
  if (file_) std::fclose(file_);
}

void PackedEntries::append(const std::string& entry) {
  const auto length = static_cast<Length>(entry.size());
  held_.append(reinterpret_cast<const char*>(&length), sizeof length);
  held_ += entry;
  ++count_;
  if (held_.size() >= kHeldBytes) spill();
}

void PackedEntries::spill() {
  if (!spilling_) return;
  if (!file_) file_ = openScratchFile();
  const bool fits = held_.size() <= static_cast<std::size_t>(kMaxStored - stored_);
  if (file_ && fits && std::fseek(file_, stored_, SEEK_SET) == 0 &&
      std::fwrite(held_.data(), 1, held_.size(), file_) == held_.size()) {
    stored_ += static_cast<long>(held_.size());
    held_.clear();
    return;
  }
  // No scratch file, or its volume is full: the entries before stay in the file, the rest
  // in memory.
  spilling_ = false;
}

bool PackedEntries::next(std::string& entry) {
  if (readFrom_ < 0) {
    if (stored_ > 0 && (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0))
      throw RuntimeError(err::kDeviceIo, folder_);
    readFrom_ = 0;
  }
  if (nextFromFile(entry)) return true;
  Length length = 0;
  if (held_.size() - heldAt_ < sizeof length) return false;
  std::memcpy(&length, held_.data() + heldAt_, sizeof length);
  heldAt_ += sizeof length;
  entry.assign(held_, heldAt_, length);
  heldAt_ += length;
  return true;
}

bool PackedEntries::nextFromFile(std::string& entry) {
  if (readFrom_ >= stored_) return false;
  Length length = 0;
  bool whole = std::fread(&length, sizeof length, 1, file_) == 1;
  if (whole) {
    entry.resize(length);
    whole = length == 0 || std::fread(entry.data(), 1, length, file_) == length;
  }
  if (!whole) throw RuntimeError(err::kDeviceIo, folder_);
  readFrom_ += static_cast<long>(sizeof length + length);
  return true;
}

}  // namespace qm::copy
