// The progress of a busy run on a Win32 window and on its taskbar button.
#include "progress_win32.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <vector>

#include "os/win32/wide.h"
#include "tooltip_win32.h"

namespace qm::win32 {

namespace {

// The line stands on the window's surface, where every movement refreshes the window: its
// mouse moves go on to the window, at the window's coordinates.
LRESULT CALLBACK passMovesOn(HWND line, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR) {
  if (msg == WM_MOUSEMOVE) {
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    const HWND window = GetParent(line);
    MapWindowPoints(line, window, &at, 1);
    SendMessageW(window, WM_MOUSEMOVE, wParam, MAKELPARAM(at.x, at.y));
  }
  return DefSubclassProc(line, msg, wParam, lParam);
}

BOOL CALLBACK collectChild(HWND child, LPARAM param) {
  auto& rects = *reinterpret_cast<std::pair<HWND, std::vector<Rect>>*>(param);
  if (GetParent(child) != rects.first || !IsWindowVisible(child)) return TRUE;
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, rects.first, reinterpret_cast<POINT*>(&r), 2);
  rects.second.push_back({r.left, r.top, r.right - r.left, r.bottom - r.top});
  return TRUE;
}

}  // namespace

Rect progressPanelRect(HWND window) {
  std::pair<HWND, std::vector<Rect>> children{window, {}};
  EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&children));
  RECT client;
  GetClientRect(window, &client);
  return progressArea(children.second, client.right, client.bottom, 2, 22);
}

// The bar takes a third of the band; the figures stand on the rest.
ProgressPanel::ProgressPanel(HWND window, HFONT font) {
  const Rect area = progressPanelRect(window);
  if (area.empty()) return;
  const int barWidth = area.width / 3;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Screen readers call the bar by the label just before it: one of no size.
  name_ = CreateWindowExW(0, L"STATIC", widen(kProgressBarName).c_str(),
                          WS_CHILD | WS_VISIBLE | SS_NOPREFIX, area.left, area.top, 0, 0, window,
                          nullptr, instance, nullptr);
  bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, area.left, area.top,
                         barWidth, area.height, window, nullptr, instance, nullptr);
  line_ = CreateWindowExW(0, L"STATIC", L"",
                          WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX,
                          area.left + barWidth + 8, area.top, area.width - barWidth - 8,
                          area.height, window, nullptr, instance, nullptr);
  if (line_) SendMessageW(line_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (bar_) SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
  // Children made now lie on top of the window's controls; the band holds none anyway.
}

ProgressPanel::~ProgressPanel() {
  if (name_) DestroyWindow(name_);
  if (bar_) DestroyWindow(bar_);
  if (!line_) return;
  RemoveWindowSubclass(line_, passMovesOn, 0);
  DestroyWindow(line_);
}

void ProgressPanel::show(const ProgressFigures& figures) {
  const int permille = progressPermille(figures);
  if (bar_) {
    const bool busy = permille < 0;
    if (busy != marquee_) {
      // A bar without a position runs as a marquee until the total is known.
      const LONG_PTR style = GetWindowLongPtrW(bar_, GWL_STYLE);
      SetWindowLongPtrW(bar_, GWL_STYLE, busy ? style | PBS_MARQUEE : style & ~PBS_MARQUEE);
      SendMessageW(bar_, PBM_SETMARQUEE, busy, 50);
      marquee_ = busy;
    }
    if (!busy) SendMessageW(bar_, PBM_SETPOS, permille, 0);
  }
  if (line_) {
    const std::wstring text = widen(progressText(figures));
    wchar_t shown[256] = L"";
    GetWindowTextW(line_, shown, 256);
    if (text != shown) SetWindowTextW(line_, text.c_str());
  }
}

OutcomeLine::OutcomeLine(HWND window, HFONT font, const CopyOutcome& outcome) {
  const Rect area = progressPanelRect(window);
  if (area.empty()) return;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // SS_PATHELLIPSIS keeps the end of the line (the cause) in view when it is too long.
  line_ = CreateWindowExW(
      0, L"STATIC", widen(outcome.line).c_str(),
      WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_PATHELLIPSIS | SS_NOTIFY,
      area.left, area.top, area.width, area.height, window, nullptr, instance, nullptr);
  if (!line_) return;
  SetWindowSubclass(line_, passMovesOn, 0, 0);
  SendMessageW(line_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  tip_ = createToolTip(window);
  if (!tip_) return;
  // A width makes the tip show the list's lines as lines.
  SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, area.width);
  SendMessageW(tip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
  addTool(tip_, window, line_, outcome.details);
}

OutcomeLine::~OutcomeLine() {
  if (tip_) DestroyWindow(tip_);
  if (line_) DestroyWindow(line_);
}

TaskbarProgress::TaskbarProgress(HWND window) : window_(window) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  comStarted_ = SUCCEEDED(init);
  void* made = nullptr;
  if (window_ && SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_ITaskbarList3, &made))) {
    taskbar_ = static_cast<ITaskbarList3*>(made);
    if (FAILED(taskbar_->HrInit())) {
      taskbar_->Release();
      taskbar_ = nullptr;
    }
  }
}

TaskbarProgress::~TaskbarProgress() {
  if (taskbar_) {
    taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
    taskbar_->Release();
  }
  if (comStarted_) CoUninitialize();
}

void TaskbarProgress::show(const ProgressFigures& figures) {
  if (!taskbar_) return;
  const int permille = progressPermille(figures);
  if (permille < 0) {
    taskbar_->SetProgressState(window_, TBPF_INDETERMINATE);
  } else {
    taskbar_->SetProgressState(window_, TBPF_NORMAL);
    taskbar_->SetProgressValue(window_, static_cast<ULONGLONG>(permille), 1000);
  }
}

}  // namespace qm::win32
