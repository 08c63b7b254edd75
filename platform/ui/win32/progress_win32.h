// The Win32 backend's progress of a busy run: a bar and a line on the window, and the
// same progress on the window's taskbar button.
#pragma once

#include <windows.h>

#include "ui/progress_view.h"

struct ITaskbarList3;

namespace qm::win32 {

// A progress bar and a line of figures laid over the free band of a window's client
// area; destroying it takes both off the window again.
class ProgressPanel {
 public:
  ProgressPanel(HWND window, HFONT font);
  ~ProgressPanel();
  ProgressPanel(const ProgressPanel&) = delete;
  ProgressPanel& operator=(const ProgressPanel&) = delete;

  void show(const ProgressFigures& figures);
  HWND bar() const { return bar_; }
  HWND line() const { return line_; }

 private:
  HWND name_ = nullptr;  // the bar's name, for screen readers
  HWND bar_ = nullptr;
  HWND line_ = nullptr;
  bool marquee_ = false;
};

// The line of a copy's outcome where its progress stood, with the whole list as its
// tooltip; destroying it takes both off the window.
class OutcomeLine {
 public:
  OutcomeLine(HWND window, HFONT font, const CopyOutcome& outcome);
  ~OutcomeLine();
  OutcomeLine(const OutcomeLine&) = delete;
  OutcomeLine& operator=(const OutcomeLine&) = delete;
  HWND line() const { return line_; }

 private:
  HWND line_ = nullptr;
  HWND tip_ = nullptr;
};

// The window's taskbar button as a progress bar (where the shell offers it: nothing
// happens where it does not); cleared when destroyed.
class TaskbarProgress {
 public:
  explicit TaskbarProgress(HWND window);
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  void show(const ProgressFigures& figures);

 private:
  HWND window_;
  ITaskbarList3* taskbar_ = nullptr;
  bool comStarted_ = false;
};

// The free band of a window's client area between its visible children (pixels).
Rect progressPanelRect(HWND window);

}  // namespace qm::win32
