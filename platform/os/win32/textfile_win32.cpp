// Whole-file reads and atomic replacement with the Win32 file API.
#include <windows.h>

#include <random>
#include <utility>

#include "error_numbers.h"
#include "errors.h"
#include "textfile.h"
#include "wide.h"

namespace qm {
namespace {

[[noreturn]] void fail(const std::string& path) {
  throw RuntimeError(win32::errorNumberFromWin32(GetLastError()), path);
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE h_;
};

void writeAll(HANDLE h, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 1u << 20 ? 1u << 20 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr)) fail(path);
    bytes.remove_prefix(written);
  }
}

}  // namespace

std::string readWholeFile(const std::string& path) {
  Handle file(CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) fail(path);
  std::string out;
  char buf[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) fail(path);
    if (n == 0) break;
    out.append(buf, n);
  }
  return out;
}

// The temporary file lies beside the target so that the rename stays on one volume.
void replaceFileAtomically(const std::string& path, std::string_view bytes) {
  const std::wstring target = win32::widen(path);
  std::random_device random;
  std::wstring temp;
  HANDLE raw = INVALID_HANDLE_VALUE;
  for (int attempt = 0; raw == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target + L".tmp" + std::to_wstring(random());
    raw = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    if (raw == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt > 100))
      fail(path);
  }
  Handle file(raw);
  try {
    writeAll(file.get(), bytes, path);
    if (!FlushFileBuffers(file.get())) fail(path);
    if (!CloseHandle(file.release())) fail(path);
    if (!MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      fail(path);
  } catch (...) {
    if (file.valid()) CloseHandle(file.release());
    DeleteFileW(temp.c_str());
    throw;
  }
}

bool fileExists(const std::string& path) {
  std::wstring wide;
  try {
    wide = win32::widen(path);
  } catch (const RuntimeError&) {
    return false;
  }
  const DWORD attrs = GetFileAttributesW(wide.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace qm
