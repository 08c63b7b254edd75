// The Qt backend: forms, message boxes, pointer, clipboard, program start and end.
#include "qt_backend.h"

#include <QClipboard>
#include <QCursor>
#include <QTimer>
#include <algorithm>

#include "qt_form.h"
#include "qt_msgbox.h"
#include "qt_style.h"
#include "ui/app.h"

namespace qm {

std::unique_ptr<Backend> createBackend(int& argc, char** argv, std::string appTitle) {
  return std::make_unique<qt::QtBackend>(argc, argv, std::move(appTitle));
}

namespace qt {

QtBackend::QtBackend(int& argc, char** argv, std::string appTitle) : Backend(std::move(appTitle)) {
  if (!QApplication::instance()) ownApp_ = std::make_unique<QApplication>(argc, argv);
  // The program ends by its own rules (quit, or its last window closing), not Qt's.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setFont(defaultWindowFont());
}

QtBackend::~QtBackend() {
  if (busy_) QGuiApplication::restoreOverrideCursor();
}

// The program's windows all carry its icon; as the application's icon it also goes to
// every message box, including one shown before any window.
std::unique_ptr<Form> QtBackend::createForm(const FormLayout& layout) {
  QApplication::setWindowIcon(windowIcon(layout.icon));
  return std::make_unique<QtForm>(*this, layout);
}

int QtBackend::messageBox(std::string_view text, int style, std::string_view title) {
  QWidget* parent = QApplication::activeWindow();
  if (!parent)
    if (QtForm* front = frontForm()) parent = front->window();
  return showMessageBox(parent, text, style, title);
}

QtForm* QtBackend::frontForm() const {
  return forms_.front([](QtForm* f) { return f->window() == QApplication::activeWindow(); },
                      [](QtForm* f) { return f->window()->isVisible(); });
}

// One override at most: the hourglass is on or off, never stacked.
void QtBackend::setMousePointer(int pointer) {
  const bool wantBusy = pointer == kPointerHourglass;
  if (wantBusy == busy_) return;
  busy_ = wantBusy;
  if (busy_)
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  else
    QGuiApplication::restoreOverrideCursor();
}

void QtBackend::setClipboardText(std::string_view text) {
  QGuiApplication::clipboard()->setText(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtBackend::run() {
  if (ended()) return;
  running_ = true;
  QApplication::exec();
  running_ = false;
}

void QtBackend::formClosed() {
  QTimer::singleShot(0, &guard_, [this] {
    if (running_ && openForms().empty()) QApplication::exit(0);
  });
}

void QtBackend::sound() {
  QApplication::beep();
}

void QtBackend::quit() {
  for (QtForm* f : forms_.all()) f->closeForEnd();
  setMousePointer(kPointerDefault);
  // Only a running loop is told to leave: exit() before exec() would also stop every
  // later modal loop, and run() returns at once after the end anyway.
  if (running_) QApplication::exit(0);
}

}  // namespace qt
}  // namespace qm
