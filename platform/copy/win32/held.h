// Calls that meet a file another program holds open for a moment, tried again.
#pragma once

#include <windows.h>

namespace qm::win32 {

// How long a file that another program holds open is waited for: another copy into the
// same folder placing it, setting its times or reading it back holds it for moments only.
constexpr ULONGLONG kHeldWaitMs = 2000;
constexpr DWORD kHeldPauseMs = 25;

// Calls `attempt()` (true where it succeeded, else with the last error set) until it
// succeeds, fails with a code that `held(code)` does not take for a file held open, or
// kHeldWaitMs have passed. Returns whether it succeeded, with the last error set if not.
template <typename Attempt, typename Held>
bool retryWhileHeld(Attempt attempt, Held held) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (attempt()) return true;
    const DWORD code = GetLastError();
    if (!held(code) || GetTickCount64() - start >= kHeldWaitMs) {
      SetLastError(code);
      return false;
    }
    Sleep(kHeldPauseMs);
  }
}

}  // namespace qm::win32
