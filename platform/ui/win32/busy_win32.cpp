// The Win32 backend's busy loop: a message loop without input, and the progress panel.
#include <windows.h>

#include <memory>

#include "backend_win32.h"
#include "form_win32.h"
#include "progress_win32.h"

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
  const HWND active = GetActiveWindow();
  return forms_.front([active](W32Form* f) { return f->hwnd() && f->hwnd() == active; },
                      [](W32Form* f) { return f->hwnd() && IsWindowVisible(f->hwnd()); });
}

namespace {

// The work runs on a thread of its own while this thread keeps taking the window's
// messages, so the system never finds the window hung; paint, timers and the system's
// own messages are handled, input is dropped.
class Win32BusyLoop : public BusyLoop {
 public:
  Win32BusyLoop(HWND window, HFONT font)
      : window_(window), font_(font), finished_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Win32BusyLoop() override { CloseHandle(finished_); }
  Win32BusyLoop(const Win32BusyLoop&) = delete;
  Win32BusyLoop& operator=(const Win32BusyLoop&) = delete;

  void wake() override { SetEvent(finished_); }
  void wait(int ms) override;
  void showProgress(const CopyProgress& progress) override;
  // A quit asked for meanwhile is handed on to the program's own loop.
  void end() override {
    dropQueuedInput();
    panel_.reset();
    taskbar_.reset();
    if (quitAsked_) PostQuitMessage(static_cast<int>(quitCode_));
  }

 private:
  HWND window_;
  HFONT font_;
  HANDLE finished_;
  std::unique_ptr<ProgressPanel> panel_;
  std::unique_ptr<TaskbarProgress> taskbar_;
  bool quitAsked_ = false;
  WPARAM quitCode_ = 0;
};

void Win32BusyLoop::wait(int ms) {
  const DWORD woke =
      MsgWaitForMultipleObjects(1, &finished_, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
  if (woke == WAIT_OBJECT_0) return;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quitAsked_ = true;
      quitCode_ = msg.wParam;
    } else if (!isDroppedInput(msg.message)) {
      DispatchMessageW(&msg);
    }
  }
}

void Win32BusyLoop::showProgress(const CopyProgress& progress) {
  if (!window_ || !IsWindow(window_)) return;
  if (!panel_) {
    panel_ = std::make_unique<ProgressPanel>(window_, font_);
    taskbar_ = std::make_unique<TaskbarProgress>(window_);
  }
  const ProgressFigures figures = readProgress(progress);
  panel_->show(figures);
  taskbar_->show(figures);
}

}  // namespace

void Win32Backend::showOutcome(const CopyOutcome& outcome) {
  outcome_.reset();
  W32Form* front = frontForm();
  if (outcome.empty() || !front || !front->hwnd()) return;
  outcome_ = std::make_unique<OutcomeLine>(front->hwnd(), font(Font{}), outcome);
}

HWND Win32Backend::outcomeLine() const {
  return outcome_ && IsWindow(outcome_->line()) ? outcome_->line() : nullptr;
}

std::unique_ptr<BusyLoop> Win32Backend::busyLoop() {
  W32Form* front = frontForm();
  return std::make_unique<Win32BusyLoop>(front ? front->hwnd() : nullptr, font(Font{}));
}

}  // namespace qm::win32
