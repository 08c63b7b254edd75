// Tooltips of the Win32 backend: the controls' own and the copy outcome's list.
#pragma once

#include <windows.h>

#include <string_view>

namespace qm::win32 {

// A tooltip window for the children of `owner`; null where it cannot be made.
HWND createToolTip(HWND owner);

// Shows `text` in the tooltip `tip` while the pointer rests on `child`, a child of `owner`.
void addTool(HWND tip, HWND owner, HWND child, std::string_view text);

// Changes the text that `tip` shows for `child` (added with addTool).
void changeTool(HWND tip, HWND owner, HWND child, std::string_view text);

}  // namespace qm::win32
