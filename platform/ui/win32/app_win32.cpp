// createBackend for Windows builds: the Win32 backend.
#include <windows.h>
#include <commctrl.h>

#include "backend_win32.h"
#include "ui/app.h"

namespace qm {

std::unique_ptr<Backend> createBackend(int&, char**, std::string appTitle) {
  // No system "insert a disk" boxes while drives are looked at.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  return std::make_unique<win32::Win32Backend>(std::move(appTitle));
}

}  // namespace qm
