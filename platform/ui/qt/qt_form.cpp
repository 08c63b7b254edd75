// A window made from a layout table, as a Qt top-level widget and its controls.
#include "qt_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>

#include "os/roots.h"
#include "qt_backend.h"
#include "qt_style.h"
#include "ui/form_rules.h"

namespace qm::qt {

namespace {

// Calls back when its widget receives the focus.
class FocusWatcher : public QObject {
 public:
  FocusWatcher(QObject* owner, std::function<void()> onFocus)
      : QObject(owner), onFocus_(std::move(onFocus)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) onFocus_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> onFocus_;
};

// A control of the Qt backend, and its widget in `w`.
template <class T, class... Args>
std::unique_ptr<Control> make(QWidget*& w, Args&&... args) {
  auto made = std::make_unique<T>(std::forward<Args>(args)...);
  w = made->widget();
  return made;
}

}  // namespace

// ---- surface --------------------------------------------------------------------------

void FormWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  // A child marked as surface (the line that names a failed file) lets movement through.
  const QWidget* child = childAt(pos);
  if ((child && !child->property(kSurfaceProperty).toBool()) || !onSurfaceMove) return;
  const Qt::MouseButtons b = event->buttons();
  const int button =
      (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
  const Qt::KeyboardModifiers m = event->modifiers();
  const int shift = (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
                    (m & Qt::AltModifier ? 4 : 0);
  onSurfaceMove(pos, button, shift);
}

void FormWidget::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!closingByProgram && onFrameClose) onFrameClose();
}

void FormWidget::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  // The keypad's Enter carries the keypad flag; it is still a plain Enter.
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (enter && plain && onEnter) {
    onEnter();
    return;
  }
  QWidget::keyPressEvent(event);
}

// ---- form -----------------------------------------------------------------------------

QtForm::QtForm(QtBackend& backend, const FormLayout& layout)
    : FormCore(backend, layout), qtBackend_(backend), window_(new FormWidget) {
  const double dpi = screenDpi();
  window_->setObjectName(
      QString::fromUtf8(layout.name.data(), static_cast<qsizetype>(layout.name.size())));
  window_->setWindowTitle(
      QString::fromUtf8(layout.caption.data(), static_cast<qsizetype>(layout.caption.size())));
  window_->setWindowIcon(windowIcon(layout.icon));
  // A window of fixed size offers no maximise button.
  window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
  window_->setFont(defaultWindowFont());
  window_->setFixedSize(twipsToPixels(layout.clientWidth, dpi),
                        twipsToPixels(layout.clientHeight, dpi));
  window_->setMouseTracking(true);
  build(dpi);
  arrangeStackingAndTabs();
  if (layout.startUp == StartUpPosition::CenterScreen) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect frame(QPoint(0, 0), window_->size());
      frame.moveCenter(screen->availableGeometry().center());
      window_->move(frame.topLeft());
    }
  }
  window_->onSurfaceMove = [this, dpi](QPoint pos, int button, int shift) {
    backend_.dispatch([=, this] {
      if (MouseMove)
        MouseMove(button, shift, pixelsToTwips(pos.x(), dpi), pixelsToTwips(pos.y(), dpi));
    });
  };
  window_->onFrameClose = [this] {
    markClosed();
    backend_.dispatch([this] {
      if (Closed) Closed();
    });
    qtBackend_.formClosed();
  };
  window_->onEnter = [this] { pressForEnter(); };
  qtBackend_.forms().add(this);
}

QtForm::~QtForm() {
  qtBackend_.forms().remove(this);
  window_->onSurfaceMove = nullptr;
  window_->onFrameClose = nullptr;
  window_->onEnter = nullptr;
  window_->closingByProgram = true;
  window_->hide();
  window_->deleteLater();
}

void QtForm::build(double dpi) {
  const std::vector<Root> roots = systemDriveRoots();
  const std::string cwd = currentFolder();
  buildControls([&](const ControlRow& row) -> std::unique_ptr<Control> {
    std::unique_ptr<Control> made;
    QWidget* w = nullptr;
    switch (row.type) {
      case ControlType::Label: made = make<QtLabel>(w, window_, row, dpi); break;
      case ControlType::CommandButton: made = make<QtButton>(w, window_, row, backend_); break;
      case ControlType::TextBox: made = make<QtTextBox>(w, window_, row, backend_); break;
      case ControlType::DriveListBox:
        made = make<QtDriveList>(w, window_, row, backend_, roots, cwd);
        break;
      case ControlType::DirListBox:
        made = make<QtDirList>(w, window_, row, backend_, roots, cwd);
        break;
    }
    const std::string name(row.name);
    widgets_[name] = w;
    // Moves over a control belong to the control, never to the window.
    w->setAttribute(Qt::WA_NoMousePropagation);
    if (row.type != ControlType::Label) watchFocus(w, name);
    return made;
  });
}

// The first row lies on top; the focus goes through the controls by tab index; a
// label's access key moves the focus to the control after it in tab order; text boxes
// and lists get their accessible names.
void QtForm::arrangeStackingAndTabs() {
  for (auto row = layout().controls.rbegin(); row != layout().controls.rend(); ++row)
    widgets_.at(std::string(row->name))->raise();
  const std::vector<const ControlRow*> order = tabOrder(layout());
  for (std::size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(widget(order[i - 1]->name), widget(order[i]->name));
  for (const ControlRow& row : layout().controls) {
    if (row.type != ControlType::Label || !showsAccessKey(row)) continue;
    if (const ControlRow* next = controlAfterLabel(layout(), row))
      control<QtLabel>(row.name).widget()->setBuddy(widget(next->name));
  }
  // Screen readers call each text box and list by the label beside it.
  for (const ControlRow& row : layout().controls) {
    const std::string name = accessibleNameOf(layout(), row);
    if (!name.empty()) widget(row.name)->setAccessibleName(QString::fromStdString(name));
  }
}

void QtForm::watchFocus(QWidget* w, const std::string& name) {
  w->installEventFilter(new FocusWatcher(&guard_, [this, name] { focusArrived(name); }));
}

// Enter presses the focused command button; anywhere else it presses the default button,
// if the window has one. (A focused default button takes Enter itself.)
void QtForm::pressForEnter() {
  std::string focus;
  for (const auto& [name, w] : widgets_)
    if (w == QApplication::focusWidget()) focus = name;
  if (const ControlRow* target = enterTarget(layout(), focus))
    control<QtButton>(target->name).widget()->click();
}

QWidget* QtForm::widget(std::string_view name) const {
  auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

void QtForm::showWindow(bool) {
  window_->closingByProgram = false;
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void QtForm::close() {
  closeForEnd();
  qtBackend_.formClosed();
}

void QtForm::closeForEnd() {
  markClosed();
  window_->closingByProgram = true;
  window_->close();
}

void QtForm::moveFocus(std::string_view name) {
  widget(name)->setFocus(Qt::OtherFocusReason);
}

}  // namespace qm::qt
