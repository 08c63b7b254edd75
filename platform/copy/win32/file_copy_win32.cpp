// One file copied through a temporary name: data, streams, times, attributes, rename.
#include <windows.h>

#include "file_data.h"
#include "held.h"
#include "copy/report.h"
#include "copy/write_protocol.h"
#include "copy/write_retry.h"
#include "create_error.h"
#include "errors.h"
#include "file_copy.h"
#include "metadata.h"
#include "copy_errors.h"
#include "os/win32/longpath.h"
#include "os/win32/wide.h"
#include "streams.h"
#include "temporaries.h"

namespace qm::win32 {
namespace {

// The attributes a copy carries over; the others belong to the file system.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The error of writing, flushing or closing a file the copy made. Access was granted when
// it was made: a refusal after that, or a failure that gives no reason at all, is a volume
// that is full, as the FUSE FAT driver says it under Wine (which tells no free space
// beforehand, and whose full volume may only show when the file is flushed).
DWORD writeFailure(DWORD code) {
  return code == ERROR_ACCESS_DENIED || code == ERROR_SUCCESS ? ERROR_DISK_FULL : code;
}

// Removes the temporary file unless it has been renamed into place.
struct TemporaryFile {
  std::wstring path;
  bool placed = false;
  ~TemporaryFile() {
    if (placed || path.empty()) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
};

// Copies the bytes of the open `in` to the new, empty `out`, which ends up exactly as long
// as what was read; a source that stops short of its size is 57. The length is not set
// ahead of the bytes: under Wine, the FUSE FAT driver loses bytes written into a file that
// was first made longer.
std::uint64_t copyBytes(FileCopier& copier, HANDLE in, const std::wstring& from, HANDLE out,
                        const std::wstring& to, copy::FileProgress& progress) {
  const DataSource source{[&](char* buffer, std::size_t capacity) -> std::size_t {
                            DWORD got = 0;
                            if (!ReadFile(in, buffer, static_cast<DWORD>(capacity), &got, nullptr))
                              throwSourceError(GetLastError(), from);
                            return got;
                          },
                          [&]() -> std::uint64_t {
                            LARGE_INTEGER size;
                            if (!GetFileSizeEx(in, &size)) throwCopyError(GetLastError(), from);
                            return static_cast<std::uint64_t>(size.QuadPart);
                          }};
  const DataSink sink = [&](const char* buffer, std::size_t count) {
    DWORD put = 0;
    if (!WriteFile(out, buffer, static_cast<DWORD>(count), &put, nullptr) || put != count)
      throwCopyError(writeFailure(GetLastError()), to);
  };
  const ChunkDone chunkDone = [&](std::size_t count) { progress.advance(count); };
  const DataCopied copied =
      copyData(source, sink, copier.buffer.data(), copier.buffer.size(), chunkDone);
  if (!copied.complete) throwNumber(err::kDeviceIo, from);
  return copied.bytes;
}

using copy::ChangedWhileRead;

// What tells whether an open file changed meanwhile: its size, write and change times.
bool sameState(const Entry& a, const Entry& b) {
  return a.size == b.size && a.written == b.written && a.changed == b.changed;
}

// Writes the temporary file: bytes and named streams, flushed.
void writeTemporary(FileCopier& copier, const std::wstring& from, HANDLE out,
                    const std::wstring& temp, copy::FileProgress& progress) {
  Handle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid()) throwSourceError(GetLastError(), from);
  FileId id;
  Entry before, after;
  const bool described = describe(in.get(), id, before);
  copyBytes(copier, in.get(), from, out, temp, progress);
  if (described && describe(in.get(), id, after) && !sameState(before, after))
    throw ChangedWhileRead{};
  copyNamedStreams(from, temp, copier.buffer);
  if (!FlushFileBuffers(out)) throwCopyError(writeFailure(GetLastError()), temp);
}

// Gives the placed file the source's times and attributes. This follows the rename, since
// FUSE FAT drivers set the time of a file to the present when it is closed after writing
// and again when it is renamed. The access time goes with the write time: they also drop a
// write time that is set alone.
void setTimesAndAttributes(const std::wstring& path, const Entry& e) {
  Handle h;
  metadataCall(
      [&] {
        h = Handle(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
        return h.valid();
      },
      path);
  if (!h.valid()) return;
  const FILETIME created = fileTimeOf(e.created), accessed = fileTimeOf(e.accessed),
                 written = fileTimeOf(e.written);
  metadataCall([&] { return SetFileTime(h.get(), &created, &accessed, &written); }, path);
  FILE_BASIC_INFO basic{};
  const DWORD kept = e.attributes & kKeptAttributes;
  basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
  metadataCall(
      [&] { return SetFileInformationByHandle(h.get(), FileBasicInfo, &basic, sizeof basic); },
      path);
}

// Renames the finished temporary file onto `destination`, replacing what is there. Another
// copy into the same folder may have placed that name meanwhile and still hold it open to
// set its times; the rename is refused until it lets go, so a refusal while the name
// exists is tried again for a while. Returns false with the last error set.
bool placeFile(const std::wstring& temp, const std::wstring& destination) {
  return retryWhileHeld(
      [&] {
        return MoveFileExW(temp.c_str(), destination.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      },
      [&](DWORD code) {
        if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) return false;
        const DWORD there = GetFileAttributesW(destination.c_str());
        if (there == INVALID_FILE_ATTRIBUTES) return false;
        // A read-only file placed there meanwhile gives way as one from an earlier copy does.
        if (there & FILE_ATTRIBUTE_READONLY)
          SetFileAttributesW(destination.c_str(), there & ~FILE_ATTRIBUTE_READONLY);
        return true;
      });
}

// Renames the finished temporary file onto `destination`, where nothing was when the copy
// looked. A name that is there by now is replaced only where it is this very name (another
// copy into the same folder placed it); under another name that the folder takes for this
// one (this copy's file of another source entry), it is a clash, never replaced. Returns
// false, nothing done, where the name is there as itself or the rename failed otherwise.
bool placeNew(const std::wstring& temp, const std::wstring& destination, const std::wstring& name) {
  if (MoveFileExW(temp.c_str(), destination.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  const DWORD code = GetLastError();
  if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) return false;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(destination.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  if (found.cFileName == name) return false;
  throw copy::ClashError(narrow(plainPath(destination)),
                         copy::sameNameCause(narrow(found.cFileName), narrow(name)));
}

// The protocol's steps for one file: written to a hidden temporary file beside its
// destination, renamed over it, then given the source's times and attributes.
struct FileSteps {
  struct Pending {
    TemporaryFile temp;
    Handle out;  // after the file, so that it closes before the file is removed
  };
  FileCopier& copier;
  const std::wstring& source;
  const std::wstring& folder;
  const std::wstring& destination;
  const Entry& entry;
  const Entry* existing;
  bool mayReplace;
  copy::FileProgress& progress;

  Pending create() const {
    std::wstring path;
    // Hidden while it is unfinished.
    Handle out = createTemporaryFile(folder, GENERIC_WRITE, FILE_ATTRIBUTE_HIDDEN, path);
    if (!out.valid()) {
      const DWORD code = GetLastError();
      throwCopyError(code, destination);
    }
    return Pending{TemporaryFile{std::move(path)}, std::move(out)};
  }
  void moveData(Pending& p) const {
    writeTemporary(copier, source, p.out.get(), p.temp.path, progress);
  }
  void seal(Pending& p) const {
    if (!p.out.close()) throwCopyError(writeFailure(GetLastError()), p.temp.path);
  }
  void place(Pending& p) const;
  void afterPlace(Pending&) const { setTimesAndAttributes(destination, entry); }
};

void FileSteps::place(Pending& p) const {
  // A read-only file from an earlier copy gives way to this one; should the rename fail,
  // it gets its attribute back.
  const bool wasReadOnly = existing && (existing->attributes & FILE_ATTRIBUTE_READONLY);
  if (wasReadOnly &&
      !SetFileAttributesW(destination.c_str(), existing->attributes & ~FILE_ATTRIBUTE_READONLY))
    throwCopyError(GetLastError(), destination);
  const bool placed = !existing && placeNew(p.temp.path, destination, entry.name);
  // A file another program placed under the name since the copy looked is replaced only
  // where the copy may replace files at all.
  if (!placed && !existing && !mayReplace &&
      GetFileAttributesW(destination.c_str()) != INVALID_FILE_ATTRIBUTES)
    throwNumber(err::kFileExists, destination);
  if (!placed && !placeFile(p.temp.path, destination)) {
    const DWORD code = GetLastError();
    if (wasReadOnly) SetFileAttributesW(destination.c_str(), existing->attributes);
    const bool named =
        existing || GetFileAttributesW(destination.c_str()) != INVALID_FILE_ATTRIBUTES;
    throwNumber(named ? copyErrorNumber(code) : createErrorNumber(destination, code, false),
                destination);
  }
  p.temp.placed = true;
}

}  // namespace

void writeFile(FileCopier& copier, const std::wstring& source, const std::wstring& folder,
               const std::wstring& destination, const Entry& entry, const Entry* existing,
               bool mayReplace, copy::FileProgress& progress) {
  FileSteps steps{copier, source, folder, destination, entry, existing, mayReplace, progress};
  copy::writeRetryingChanges([&] { copy::writeByProtocol(steps); }, [] {},
                             [&] { return narrow(plainPath(source)); });
}

}  // namespace qm::win32
