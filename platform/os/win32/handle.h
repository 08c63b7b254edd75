// An owned Win32 file handle, closed when it goes out of scope: the copy engine's and the
// settings file's.
#pragma once

#include <windows.h>

#include <utility>

namespace qm::win32 {

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : h_(handle) {}
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      close();
      h_ = other.h_;
      other.h_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }

  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  // Gives the handle up without closing it, for a close whose result the caller checks.
  HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  // Closes the handle; false (with GetLastError) when the system reports a failure.
  bool close() {
    if (!valid()) return true;
    const BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace qm::win32
