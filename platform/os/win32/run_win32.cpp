// This process as temporary names record it, and whether a run has ended, by process times.
#include <windows.h>

#include "os/run.h"
#include "os/win32/handle.h"

namespace qm::os {
namespace {

std::uint64_t startTimeOf(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

}  // namespace

// Windows has no pid namespaces.
const TemporaryOwner& thisRun() {
  static const TemporaryOwner run{0, GetCurrentProcessId(), startTimeOf(GetCurrentProcess())};
  return run;
}

bool runEnded(const TemporaryOwner& owner) {
  if (owner.space != 0 || owner.process == 0 || owner.process > 0xFFFFFFFFu) return false;
  win32::Handle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(owner.process)));
  if (!process.valid()) return GetLastError() != ERROR_ACCESS_DENIED;  // denied: someone else's
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) return true;
  return owner.started != 0 && startTimeOf(process.get()) != owner.started;
}

}  // namespace qm::os
