// The system message box, with Esc and its close command answering as the style's rule says.
#pragma once

#include <windows.h>

#include <string_view>

namespace qm::win32 {

// Shows MessageBoxW modally over `owner`. Esc and the close command give the style's
// escape answer (Cancel where the box has it, OK in an OK box) and are ignored in a box
// without one (Yes/No), whatever the system's box would do with its IDCANCEL.
int showMessageBox(HWND owner, std::string_view text, int style, std::string_view title);

}  // namespace qm::win32
