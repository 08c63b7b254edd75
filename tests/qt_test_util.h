// Helpers of the Qt backend tests: a backend per test, small layouts, box answering.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_form.h"

namespace qm::qt::test {

// A backend on the test program's QApplication.
inline std::unique_ptr<QtBackend> makeBackend() {
  static int argc = 1;
  static char name[] = "qt_test";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QtBackend>(argc, argv, "QM(Quillmar)");
}

inline QtForm& qtForm(Form& f) {
  return static_cast<QtForm&>(f);
}

// Runs `act` on the next message box once it is shown (polling, so it also works for a
// box opened later inside the same handler).
inline void onNextBox(std::function<void(QMessageBox&)> act, int triesLeft = 200) {
  QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box && box->isVisible())
      act(*box);
    else if (triesLeft > 0)
      onNextBox(std::move(act), triesLeft - 1);
  });
}

// The button of a box whose text (with its "&") is `text`, or nullptr.
inline QAbstractButton* boxButton(QMessageBox& box, const QString& text) {
  for (QAbstractButton* b : box.buttons())
    if (b->text() == text) return b;
  return nullptr;
}

// Shows a form and waits until its window is exposed and active.
inline void showAndWait(Form& f) {
  f.show();
  QWidget* w = qtForm(f).window();
  (void)QTest::qWaitForWindowExposed(w);
  QApplication::setActiveWindow(w);
  (void)QTest::qWaitForWindowActive(w);
}

}  // namespace qm::qt::test
