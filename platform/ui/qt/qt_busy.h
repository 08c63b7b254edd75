// The Qt backend's busy run: a local event loop that drops input, and the progress strip.
#pragma once

#include <QLabel>
#include <QObject>
#include <QProgressBar>
#include <QWidget>

#include "copy/progress.h"

namespace qm::qt {

// Installed on the application: drops every input event (mouse, keys, wheel, touch,
// shortcuts, context menus, tooltips) and every close request from the window system,
// so that nothing reaches a window while a busy run goes on and nothing is left queued
// for afterwards. Painting, timers and the window system's own requests pass.
class InputDropper : public QObject {
 public:
  InputDropper();
  ~InputDropper() override;
  InputDropper(const InputDropper&) = delete;
  InputDropper& operator=(const InputDropper&) = delete;

  // True for the events a busy run drops.
  static bool isInput(const QEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// A bar and the line of figures beside it, laid over a window's free band until it is
// destroyed, which takes it off the window again.
class ProgressStrip : public QWidget {
 public:
  ProgressStrip(QWidget* window, const CopyProgress& progress);
  // Reads the counters and shows them.
  void refresh();
  QProgressBar* bar() const { return bar_; }
  QLabel* line() const { return line_; }

 private:
  const CopyProgress& progress_;
  QProgressBar* bar_;
  QLabel* line_;
};

// The place of the strip in a window: the free band between its controls (pixels).
QRect progressStripRect(const QWidget& window);

}  // namespace qm::qt
