// Tooltip windows and their tools.
#include "tooltip_win32.h"

#include <commctrl.h>

#include <string>

#include "os/win32/wide.h"

namespace qm::win32 {

HWND createToolTip(HWND owner) {
  return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

void addTool(HWND tip, HWND owner, HWND child, std::string_view text) {
  if (!tip) return;
  std::wstring wide = widen(text);
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = owner;
  ti.uId = reinterpret_cast<UINT_PTR>(child);
  ti.lpszText = wide.data();  // the tooltip keeps a copy
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void changeTool(HWND tip, HWND owner, HWND child, std::string_view text) {
  if (!tip) return;
  std::wstring wide = widen(text);
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = owner;
  ti.uId = reinterpret_cast<UINT_PTR>(child);
  ti.lpszText = wide.data();
  SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

}  // namespace qm::win32
