// Reads a written file back unbuffered and compares it with its source.
#include "read_back_file.h"

#include <windows.h>

#include <memory>

#include "errors.h"
#include "copy_errors.h"
#include "held.h"
#include "os/win32/handle.h"
#include "os/win32/wide.h"

namespace qm::win32 {

namespace {

bool matches(HANDLE h, const copy::FileStamp& stamp) {
  FileId id;
  Entry now;
  return describe(h, id, now) && stampOf(now) == stamp;
}

// Reads as the comparison asks for them; `unbuffered` reads give less than asked only at
// the end of the file, and nothing after that, since their offsets must stay whole
// sectors.
template <typename Fail>
copy::ReadChunk reader(HANDLE h, bool unbuffered, Fail fail) {
  auto ended = std::make_shared<bool>(false);
  return [h, unbuffered, ended, fail](char* buffer, std::size_t capacity) -> std::size_t {
    if (*ended) return 0;
    DWORD got = 0;
    if (!ReadFile(h, buffer, static_cast<DWORD>(capacity), &got, nullptr)) fail(GetLastError());
    if (unbuffered && got < capacity) *ended = true;
    return got;
  };
}

}  // namespace

copy::FileStamp stampOf(const Entry& entry) {
  return {entry.size, static_cast<std::int64_t>(entry.written),
          static_cast<std::int64_t>(entry.changed)};
}

copy::ReadBackResult readBackFile(const std::wstring& source, const std::wstring& destination,
                                  const copy::FileStamp& stamp, copy::ReadBuffers& buffers,
                                  const copy::BytesRead& read) {
  const Handle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid() || !matches(in.get(), stamp)) return copy::ReadBackResult::SourceChanged;
  // Unbuffered: the reads come from the device, into page-aligned buffers, in whole
  // sectors (a buffer is a megabyte, a multiple of any sector size).
  // Another copy into the same folder may hold the file for a moment (placing it, setting
  // its times): a sharing violation is waited out as a rename onto it is.
  Handle out;
  const auto open = [&] {
    out = Handle(CreateFileW(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN,
                             nullptr));
    return out.valid();
  };
  if (!retryWhileHeld(open, [](DWORD code) { return code == ERROR_SHARING_VIOLATION; })) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
      return copy::ReadBackResult::Differs;
    throwCopyError(code, destination);
  }
  const bool same = copy::sameBytes(
      reader(in.get(), false, [&](DWORD code) { throwSourceError(code, source); }),
      reader(out.get(), true, [&](DWORD code) { throwCopyError(code, destination); }), buffers,
      read);
  // A source written meanwhile says nothing about the device.
  if (!matches(in.get(), stamp)) return copy::ReadBackResult::SourceChanged;
  return same ? copy::ReadBackResult::Same : copy::ReadBackResult::Differs;
}

void spoilFile(const std::wstring& destination) {
  SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
  Handle h(
      CreateFileW(destination.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
  if (h.valid()) return;
  if (DeleteFileW(destination.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return;
  throwCopyError(GetLastError(), destination);
}

}  // namespace qm::win32
