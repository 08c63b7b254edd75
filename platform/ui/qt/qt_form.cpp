// A window made from a layout table, as a Qt top-level widget and its controls.
#include "qt_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>

#include "drives.h"
#include "errors.h"
#include "qt_backend.h"
#include "qt_style.h"

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

template <class Map>
auto& lookup(Map& map, std::string_view name) {
  auto it = map.find(name);
  if (it == map.end()) throw RuntimeError(err::kInvalidCall, name);
  return *it->second;
}

}  // namespace

// ---- surface --------------------------------------------------------------------------

void FormWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (childAt(pos) || !onSurfaceMove) return;
  const Qt::MouseButtons b = event->buttons();
  const int button = (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
                     (b & Qt::MiddleButton ? 4 : 0);
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
    : backend_(backend), layout_(layout), window_(new FormWidget) {
  const double dpi = screenDpi();
  window_->setObjectName(QString::fromUtf8(layout.name.data(), static_cast<qsizetype>(layout.name.size())));
  window_->setWindowTitle(QString::fromUtf8(layout.caption.data(), static_cast<qsizetype>(layout.caption.size())));
  window_->setWindowIcon(windowIcon(layout.icon));
  window_->setFont(defaultWindowFont());
  window_->setFixedSize(twipsToPixels(layout.clientWidth, dpi), twipsToPixels(layout.clientHeight, dpi));
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
      if (MouseMove) MouseMove(button, shift, pixelsToTwips(pos.x(), dpi), pixelsToTwips(pos.y(), dpi));
    });
  };
  window_->onFrameClose = [this] {
    open_ = false;
    backend_.dispatch([this] {
      if (Closed) Closed();
    });
    backend_.formClosed();
  };
  window_->onEnter = [this] { pressForEnter(); };
  backend_.registerForm(this);
}

QtForm::~QtForm() {
  backend_.unregisterForm(this);
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
  for (const ControlRow& row : layout_.controls) {
    const std::string name(row.name);
    QWidget* w = nullptr;
    switch (row.type) {
      case ControlType::Label:
        w = (labels_[name] = std::make_unique<QtLabel>(window_, row, dpi))->widget();
        break;
      case ControlType::CommandButton:
        w = (buttons_[name] = std::make_unique<QtButton>(window_, row, backend_))->widget();
        break;
      case ControlType::TextBox:
        w = (textBoxes_[name] = std::make_unique<QtTextBox>(window_, row, backend_))->widget();
        break;
      case ControlType::DriveListBox:
        w = (drives_[name] = std::make_unique<QtDriveList>(window_, row, backend_, roots, cwd))->widget();
        break;
      case ControlType::DirListBox:
        w = (dirs_[name] = std::make_unique<QtDirList>(window_, row, backend_, roots, cwd))->widget();
        break;
    }
    widgets_[name] = w;
    // Moves over a control belong to the control, never to the window.
    w->setAttribute(Qt::WA_NoMousePropagation);
    if (row.type != ControlType::Label) watchFocus(w, name);
  }
}

// The first row lies on top; the focus goes through the controls by tab index; a
// label's access key moves the focus to the control after it in tab order.
void QtForm::arrangeStackingAndTabs() {
  for (auto row = layout_.controls.rbegin(); row != layout_.controls.rend(); ++row)
    widgets_.at(std::string(row->name))->raise();
  const std::vector<std::string> order = tabOrder();
  for (std::size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(widgets_.at(order[i - 1]), widgets_.at(order[i]));
  for (const ControlRow& row : layout_.controls) {
    if (row.type != ControlType::Label || row.caption.find('&') == std::string_view::npos) continue;
    const ControlRow* next = nullptr;
    for (const ControlRow& other : layout_.controls)
      if (other.type != ControlType::Label && other.tabIndex > row.tabIndex &&
          (!next || other.tabIndex < next->tabIndex))
        next = &other;
    if (next) labels_.at(std::string(row.name))->widget()->setBuddy(widgets_.at(std::string(next->name)));
  }
}

std::vector<std::string> QtForm::tabOrder() const {
  std::vector<const ControlRow*> rows;
  for (const ControlRow& row : layout_.controls)
    if (row.type != ControlType::Label) rows.push_back(&row);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const ControlRow* a, const ControlRow* b) { return a->tabIndex < b->tabIndex; });
  std::vector<std::string> names;
  for (const ControlRow* row : rows) names.emplace_back(row->name);
  return names;
}

void QtForm::watchFocus(QWidget* w, const std::string& name) {
  w->installEventFilter(new FocusWatcher(&guard_, [this, name] {
    if (focused_ == name) return;  // already announced by setFocus
    focused_ = name;
    auto box = textBoxes_.find(name);
    if (box == textBoxes_.end()) return;
    QtTextBox* t = box->second.get();
    backend_.dispatch([t] {
      if (t->GotFocus) t->GotFocus();
    });
  }));
}

// Enter presses the focused command button; anywhere else it presses the default
// button, if the window has one. (A focused default button takes Enter itself.)
void QtForm::pressForEnter() {
  const QWidget* focus = QApplication::focusWidget();
  for (const auto& [name, button] : buttons_)
    if (button->widget() == focus) {
      button->widget()->click();
      return;
    }
  for (const ControlRow& row : layout_.controls)
    if (row.type == ControlType::CommandButton && (row.other & kDefault)) {
      buttons_.at(std::string(row.name))->widget()->click();
      return;
    }
}

Label& QtForm::label(std::string_view name) { return lookup(labels_, name); }
CommandButton& QtForm::button(std::string_view name) { return lookup(buttons_, name); }
TextBox& QtForm::textBox(std::string_view name) { return lookup(textBoxes_, name); }
DriveListBox& QtForm::driveList(std::string_view name) { return lookup(drives_, name); }
DirListBox& QtForm::dirList(std::string_view name) { return lookup(dirs_, name); }

QWidget* QtForm::widget(std::string_view name) const {
  auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

void QtForm::show() {
  window_->closingByProgram = false;
  window_->show();
  window_->raise();
  window_->activateWindow();
  if (shown_) return;
  shown_ = true;
  const std::vector<std::string> order = tabOrder();
  if (!order.empty()) setFocus(order.front());
}

void QtForm::close() {
  open_ = false;
  closeForEnd();
  backend_.formClosed();
}

void QtForm::closeForEnd() {
  open_ = false;
  window_->closingByProgram = true;
  window_->close();
}

void QtForm::setFocus(std::string_view name) {
  QWidget* w = widget(name);
  if (!w) throw RuntimeError(err::kInvalidCall, name);
  w->setFocus(Qt::OtherFocusReason);
  if (focused_ == name) return;
  focused_ = name;
  if (auto box = textBoxes_.find(name); box != textBoxes_.end() && box->second->GotFocus)
    box->second->GotFocus();
}

}  // namespace qm::qt
