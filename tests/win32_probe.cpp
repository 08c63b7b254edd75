// A helper for the Wine checks: reports another program's window or message box.
//   win32_probe window TITLE      one line per child: class|text|left,top,width,height
//   win32_probe box TITLE [press|no]  the box's text; "press" also presses its first
//                                 button (OK, Yes or Retry), "no" its No button
//   win32_probe click TITLE TEXT  presses the button captioned TEXT in that window
//   win32_probe focus TITLE       the control that has the keyboard focus in that window's
//                                 thread: class|text (the window itself when no control)
//   win32_probe                   with QM_PROBE_REPORT set: writes its own path (UTF-8)
//                                 to that file, so a test sees which copy was started
// Waits up to 20 s for the window; exits 1 when it never appears. Output is UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "os/win32/wide.h"

namespace {

using qm::win32::narrow;
using qm::win32::widen;

std::string textOf(HWND h) {
  // WM_GETTEXT rather than GetWindowText, which does not ask another process's controls.
  wchar_t buf[1024];
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                           2000, &n))
    n = 0;
  return narrow(std::wstring_view(buf, n));
}

HWND waitFor(const wchar_t* cls, const std::wstring& title) {
  for (int i = 0; i < 200; ++i) {
    if (HWND h = FindWindowW(cls, title.c_str())) return h;
    Sleep(100);
  }
  return nullptr;
}

BOOL CALLBACK printChild(HWND child, LPARAM parent) {
  if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;
  wchar_t cls[64];
  GetClassNameW(child, cls, 64);
  RECT rc;
  GetWindowRect(child, &rc);
  MapWindowPoints(nullptr, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&rc), 2);
  std::printf("%s|%s|%ld,%ld,%ld,%ld\n", narrow(cls).c_str(), textOf(child).c_str(), rc.left,
              rc.top, rc.right - rc.left, rc.bottom - rc.top);
  return TRUE;
}

}  // namespace

// Started without arguments by a program-start test: records which file was started.
int reportOwnPath() {
  wchar_t report[MAX_PATH * 2], self[MAX_PATH * 2];
  if (!GetEnvironmentVariableW(L"QM_PROBE_REPORT", report, MAX_PATH * 2)) return 2;
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  const std::string path = narrow(std::wstring_view(self, n));
  HANDLE h = CreateFileW(report, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(h, path.data(), static_cast<DWORD>(path.size()), &written, nullptr);
  CloseHandle(h);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 1) return reportOwnPath();
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  // Arguments arrive in the ANSI code page; take them from the wide command line instead.
  int wargc = 0;
  wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
  const std::wstring title = wargc > 2 ? wargv[2] : widen(argv[2]);
  if (mode == "window") {
    HWND h = waitFor(L"QmForm", title);
    if (!h) return 1;
    Sleep(500);  // let the load finish
    RECT client;
    GetClientRect(h, &client);
    std::printf("client|%s|0,0,%ld,%ld\n", textOf(h).c_str(), client.right, client.bottom);
    EnumChildWindows(h, printChild, reinterpret_cast<LPARAM>(h));
    return 0;
  }
  if (mode == "click" && wargc > 3) {
    HWND h = waitFor(L"QmForm", title);
    if (!h) return 1;
    for (HWND b = GetWindow(h, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT))
      if (textOf(b) == narrow(wargv[3])) {
        PostMessageW(b, BM_CLICK, 0, 0);
        return 0;
      }
    return 1;
  }
  if (mode == "focus") {
    HWND h = waitFor(L"QmForm", title);
    if (!h) return 1;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &info) || !info.hwndFocus) {
      std::printf("none|\n");
      return 0;
    }
    wchar_t cls[64];
    GetClassNameW(info.hwndFocus, cls, 64);
    std::printf("%s|%s\n", narrow(cls).c_str(), textOf(info.hwndFocus).c_str());
    return 0;
  }
  if (mode == "box") {
    HWND h = waitFor(L"#32770", title);
    if (!h) return 1;
    std::printf("%s\n", textOf(GetDlgItem(h, 0xFFFF)).c_str());
    const std::string action = argc > 3 ? argv[3] : "";
    if (action == "no") {
      HWND b = GetDlgItem(h, IDNO);
      if (!b) return 1;
      PostMessageW(b, BM_CLICK, 0, 0);
    }
    if (action == "press")
      for (int id : {IDOK, IDYES, IDRETRY})
        if (HWND b = GetDlgItem(h, id)) {
          PostMessageW(b, BM_CLICK, 0, 0);
          break;
        }
    return 0;
  }
  return 2;
}
