// The record of the files a copy wrote: appended in steps to a scratch file, read back once.
#include "written_files.h"

#include <cstring>

#include "os/scratch.h"

namespace qm::copy {

namespace {

// Records waiting in memory before they go to the file together.
constexpr std::size_t kSpillBytes = std::size_t{1} << 20;
// What a file offset reaches on every system (a long is 32 bits on 32-bit Windows).
constexpr long kMaxStored = 0x7FFFFFFFL;

template <typename T>
void put(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
bool take(const std::string& in, std::size_t& at, T& value) {
  if (in.size() - at < sizeof value) return false;
  std::memcpy(&value, in.data() + at, sizeof value);
  at += sizeof value;
  return true;
}

template <typename T>
bool read(std::FILE* file, T& value) {
  return std::fread(&value, sizeof value, 1, file) == 1;
}

// A record: the path's length, the path, then the two stamps.
constexpr std::size_t kFixedBytes = sizeof(std::uint32_t) + 2 * sizeof(FileStamp);

}  // namespace

WrittenFiles::WrittenFiles() : file_(openScratchFile()) {}

WrittenFiles::~WrittenFiles() {
  if (file_) std::fclose(file_);
}

void WrittenFiles::add(const std::string& relative, const FileStamp& stamp, const FileStamp& copy) {
  std::lock_guard lock(mutex_);
  put(held_, static_cast<std::uint32_t>(relative.size()));
  held_ += relative;
  put(held_, stamp);
  put(held_, copy);
  ++count_;
  bytes_ += stamp.size;
  if (held_.size() >= kSpillBytes) spill();
}

void WrittenFiles::spill() {
  if (!file_ || !spilling_ || held_.empty()) return;
  const bool fits = held_.size() <= static_cast<std::size_t>(kMaxStored - stored_);
  if (fits && std::fseek(file_, stored_, SEEK_SET) == 0 &&
      std::fwrite(held_.data(), 1, held_.size(), file_) == held_.size()) {
    stored_ += static_cast<long>(held_.size());
    held_.clear();
    return;
  }
  // The scratch volume is full: the records before stay in the file, the rest in memory.
  spilling_ = false;
}

void WrittenFiles::rewind() {
  std::lock_guard lock(mutex_);
  spill();
  readFrom_ = file_ && std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0 ? 0 : -1;
  heldAt_ = 0;
}

bool WrittenFiles::readFromFile(WrittenFile& file) {
  std::uint32_t length = 0;
  if (readFrom_ < 0 || stored_ - readFrom_ < static_cast<long>(kFixedBytes) || !read(file_, length))
    return false;
  file.relative.resize(length);
  if ((length != 0 && std::fread(file.relative.data(), 1, length, file_) != length) ||
      !read(file_, file.stamp) || !read(file_, file.copy))
    return false;
  readFrom_ += static_cast<long>(kFixedBytes + length);
  return true;
}

bool WrittenFiles::next(WrittenFile& file) {
  std::lock_guard lock(mutex_);
  if (readFromFile(file)) return true;
  readFrom_ = -1;
  std::uint32_t length = 0;
  if (!take(held_, heldAt_, length) || held_.size() - heldAt_ < length) return false;
  file.relative.assign(held_, heldAt_, length);
  heldAt_ += length;
  return take(held_, heldAt_, file.stamp) && take(held_, heldAt_, file.copy);
}

}  // namespace qm::copy
