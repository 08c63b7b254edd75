// The system message box, with Esc and its close command answering as the style's rule says.
#include "msgbox_win32.h"

#include "os/win32/wide.h"
#include "ui/message_box.h"

namespace qm::win32 {

namespace {

// The box being shown on this thread: its style, and the box's own window procedure.
struct ShownBox {
  int style = 0;
  HHOOK hook = nullptr;
  WNDPROC boxProc = nullptr;
};
thread_local ShownBox shown;

// The dialog manager turns Esc (and the close command) into IDCANCEL; a box without a
// Cancel button gives its escape answer instead, or takes no notice.
LRESULT CALLBACK boxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
  const bool cancel = (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) ||
                      (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE);
  if (cancel) {
    const int escape = mb::boxEscapeAnswer(shown.style);
    if (escape == 0) return 0;
    if (escape != IDCANCEL) return CallWindowProcW(shown.boxProc, box, WM_COMMAND, escape, 0);
  }
  return CallWindowProcW(shown.boxProc, box, msg, wParam, lParam);
}

// Takes over the box's window procedure when the box is activated for the first time.
LRESULT CALLBACK watchBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && !shown.boxProc) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[8] = L"";
    GetClassNameW(box, cls, 8);
    if (std::wstring_view(cls) == L"#32770")
      shown.boxProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(boxProc)));
  }
  return CallNextHookEx(shown.hook, code, wParam, lParam);
}

}  // namespace

int showMessageBox(HWND owner, std::string_view text, int style, std::string_view title) {
  const ShownBox outer = shown;
  shown = {style, SetWindowsHookExW(WH_CBT, watchBox, nullptr, GetCurrentThreadId()), nullptr};
  const int answer = MessageBoxW(owner, widen(text).c_str(), widen(title).c_str(),
                                 static_cast<UINT>(style) | (owner ? 0 : MB_TASKMODAL));
  if (shown.hook) UnhookWindowsHookEx(shown.hook);
  shown = outer;
  return answer;
}

}  // namespace qm::win32
