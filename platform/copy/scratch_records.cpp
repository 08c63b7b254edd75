// Records held in memory and, past a share, in a scratch file of this process.
#include "scratch_records.h"

#include <cstdint>
#include <cstring>

#include "os/scratch.h"

namespace qm::copy {

namespace {

// What a file offset reaches on every system (a long is 32 bits on 32-bit Windows).
constexpr long kMaxStored = 0x7FFFFFFFL;

// Each record: its length, then its bytes.
using Length = std::uint32_t;

}  // namespace

ScratchRecords::~ScratchRecords() {
  if (file_) std::fclose(file_);
}

void ScratchRecords::add(std::string_view record) {
  const auto length = static_cast<Length>(record.size());
  held_.append(reinterpret_cast<const char*>(&length), sizeof length);
  held_ += record;
  ++count_;
  if (held_.size() >= heldBytes_) spill();
}

void ScratchRecords::spill() {
  if (!spilling_) return;
  if (!file_) file_ = openScratchFile();
  const bool fits = held_.size() <= static_cast<std::size_t>(kMaxStored - stored_);
  if (file_ && fits && std::fseek(file_, stored_, SEEK_SET) == 0 &&
      std::fwrite(held_.data(), 1, held_.size(), file_) == held_.size()) {
    stored_ += static_cast<long>(held_.size());
    held_.clear();
    return;
  }
  // No scratch file, or its volume is full: the records before stay in the file, the rest
  // in memory.
  spilling_ = false;
}

void ScratchRecords::rewind() {
  readFrom_ = 0;
  heldAt_ = 0;
  lost_ = stored_ > 0 && (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0);
}

ScratchRecords::Read ScratchRecords::next(std::string& record) {
  if (readFrom_ < 0) rewind();
  if (lost_) {
    lost_ = false;
    readFrom_ = stored_;
    return Read::Lost;
  }
  if (readFrom_ < stored_) return nextFromFile(record);
  Length length = 0;
  if (held_.size() - heldAt_ < sizeof length) return Read::End;
  std::memcpy(&length, held_.data() + heldAt_, sizeof length);
  heldAt_ += sizeof length;
  record.assign(held_, heldAt_, length);
  heldAt_ += length;
  return Read::Record;
}

ScratchRecords::Read ScratchRecords::nextFromFile(std::string& record) {
  Length length = 0;
  bool whole = std::fread(&length, sizeof length, 1, file_) == 1;
  if (whole) {
    record.resize(length);
    whole = length == 0 || std::fread(record.data(), 1, length, file_) == length;
  }
  if (!whole) {
    readFrom_ = stored_;
    return Read::Lost;
  }
  readFrom_ += static_cast<long>(sizeof length + length);
  return Read::Record;
}

}  // namespace qm::copy
