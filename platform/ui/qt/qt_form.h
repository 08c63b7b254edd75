// A window made from a layout table, as a Qt top-level widget and its controls.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qt_controls.h"
#include "qt_lists.h"
#include "ui/backend.h"
#include "ui/form_core.h"
#include "ui/layout.h"

namespace qm::qt {

class QtBackend;

// A child with this property set to true counts as the window's surface for mouse moves.
inline constexpr const char* kSurfaceProperty = "qmSurface";

// The window's own surface. Child controls keep their own mouse moves; the surface
// reports only moves over itself (and over children marked as surface), and Enter that no
// control took (a focused plain button, a text box, the window itself).
class FormWidget : public QWidget {
 public:
  FormWidget() = default;
  // Position in pixels, buttons and shift state as the classic values (1 left, 2 right,
  // 4 middle; 1 Shift, 2 Ctrl, 4 Alt).
  std::function<void(QPoint, int, int)> onSurfaceMove;
  std::function<void()> onFrameClose;
  std::function<void()> onEnter;
  bool closingByProgram = false;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

class QtForm : public FormCore {
 public:
  QtForm(QtBackend& backend, const FormLayout& layout);
  ~QtForm() override;

  void close() override;

  FormWidget* window() const { return window_; }
  // The widget of a control, or nullptr.
  QWidget* widget(std::string_view name) const;
  // Closes the window as the program's end does: no Closed event.
  void closeForEnd();

 protected:
  void showWindow(bool again) override;
  void moveFocus(std::string_view name) override;

 private:
  void build(double dpi);
  void arrangeStackingAndTabs();
  void watchFocus(QWidget* w, const std::string& name);
  void pressForEnter();

  QtBackend& qtBackend_;
  FormWidget* window_;
  std::map<std::string, QWidget*, std::less<>> widgets_;
  QObject guard_;
};

}  // namespace qm::qt
