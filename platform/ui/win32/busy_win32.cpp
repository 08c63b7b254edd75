// The Win32 backend's busy run: the work on a worker thread, a message loop without input.
#include <windows.h>

#include <exception>
#include <memory>

#include "backend_win32.h"
#include "form_win32.h"
#include "progress_win32.h"
#include "ui/work_thread.h"

namespace qm::win32 {

namespace {

// Keys and clicks in the client areas: dropped while a busy run goes on. The frame's own
// clicks pass, so the window can still be moved and minimised; its close button asks
// the window to close, which the dispatcher refuses while the run goes on.
bool isDroppedInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_APPCOMMAND;
}

// Input left in the queue when the work ends is dropped too, not handled afterwards.
void dropQueuedInput() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
}

}  // namespace

W32Form* Win32Backend::frontForm() const {
  HWND active = GetActiveWindow();
  for (W32Form* f : forms_)
    if (f->isOpen() && f->hwnd() && f->hwnd() == active) return f;
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
    if ((*it)->isOpen() && (*it)->hwnd() && IsWindowVisible((*it)->hwnd())) return *it;
  return nullptr;
}

// The work runs on a thread of its own while this thread keeps taking the window's
// messages, so the system never finds the window hung; paint, timers and the system's
// own messages are handled, input is dropped. The progress appears after a short delay.
void Win32Backend::runBusy(const std::function<void()>& work, const CopyProgress& progress) {
  W32Form* front = frontForm();
  HWND window = front ? front->hwnd() : nullptr;
  HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  WorkThread worker(work, [&] { SetEvent(finished); });

  std::unique_ptr<ProgressPanel> panel;
  std::unique_ptr<TaskbarProgress> taskbar;
  const ULONGLONG start = GetTickCount64();
  bool quitAsked = false;
  WPARAM quitCode = 0;
  for (;;) {
    const DWORD woke =
        MsgWaitForMultipleObjects(1, &finished, FALSE, kProgressIntervalMs, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quitAsked = true;  // handed on to the program's own loop afterwards
        quitCode = msg.wParam;
      } else if (!isDroppedInput(msg.message)) {
        DispatchMessageW(&msg);
      }
    }
    if (!window || !IsWindow(window)) continue;
    if (!panel && GetTickCount64() - start >= static_cast<ULONGLONG>(kProgressDelayMs)) {
      panel = std::make_unique<ProgressPanel>(window, font(Font{}));
      taskbar = std::make_unique<TaskbarProgress>(window);
    }
    if (panel) {
      const ProgressFigures figures = readProgress(progress);
      panel->show(figures);
      taskbar->show(figures);
    }
  }
  const std::exception_ptr failure = worker.join();
  CloseHandle(finished);
  dropQueuedInput();
  panel.reset();
  taskbar.reset();
  if (quitAsked) PostQuitMessage(static_cast<int>(quitCode));
  if (failure) std::rethrow_exception(failure);
}

}  // namespace qm::win32
