// The Qt backend's busy loop: a local event loop without input, and the progress strip.
#include "qt_busy.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <vector>

#include "qt_backend.h"
#include "qt_form.h"
#include "ui/progress_view.h"

namespace qm::qt {

InputDropper::InputDropper() {
  QApplication::instance()->installEventFilter(this);
}

InputDropper::~InputDropper() {
  QApplication::instance()->removeEventFilter(this);
}

bool InputDropper::isInput(const QEvent& event) {
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::ToolTip:
    case QEvent::WhatsThis: return true;
    default: return false;
  }
}

bool InputDropper::eventFilter(QObject* watched, QEvent* event) {
  if (isInput(*event)) return true;
  // A close request of the window system (its close button, Alt+F4): refused, so the
  // window stays; the program's own closes are not spontaneous and pass.
  if (event->type() == QEvent::Close && event->spontaneous()) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

QRect progressStripRect(const QWidget& window) {
  std::vector<Rect> controls;
  for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!child->isVisibleTo(&window)) continue;
    const QRect g = child->geometry();
    controls.push_back({g.x(), g.y(), g.width(), g.height()});
  }
  const Rect r = progressArea(controls, window.width(), window.height(), 2, 22);
  return {r.left, r.top, r.width, r.height};
}

// The bar takes a third of the strip: its length shows how far the copy is, and while
// the total is not known yet it runs as busy; the figures stand on the rest.
ProgressStrip::ProgressStrip(QWidget* window, const CopyProgress& progress)
    : QWidget(window), progress_(progress), bar_(new QProgressBar(this)), line_(new QLabel(this)) {
  setObjectName(QStringLiteral("qmProgress"));
  const QRect area = progressStripRect(*window);
  setGeometry(area);
  const int barWidth = area.width() / 3;
  bar_->setGeometry(0, 0, barWidth, area.height());
  bar_->setTextVisible(false);
  bar_->setAccessibleName(QString::fromUtf8(kProgressBarName));
  line_->setGeometry(barWidth + 8, 0, area.width() - barWidth - 8, area.height());
  line_->setTextFormat(Qt::PlainText);
  refresh();
  show();
}

void ProgressStrip::refresh() {
  const ProgressFigures figures = readProgress(progress_);
  const int permille = progressPermille(figures);
  if (permille < 0) {
    bar_->setRange(0, 0);  // busy, without a position
  } else {
    bar_->setRange(0, 1000);
    bar_->setValue(permille);
  }
  line_->setText(QString::fromStdString(progressText(figures)));
  bar_->setAccessibleDescription(line_->text());
}

namespace {

// The work runs on a thread of its own while this thread turns a local event loop, so
// the windows keep painting and answering the window manager's pings.
class QtBusyLoop : public BusyLoop {
 public:
  explicit QtBusyLoop(QtForm* front) : front_(front) {
    tick_.setSingleShot(true);
    QObject::connect(&tick_, &QTimer::timeout, &loop_, &QEventLoop::quit);
  }
  void wake() override {
    QMetaObject::invokeMethod(&loop_, &QEventLoop::quit, Qt::QueuedConnection);
  }
  void wait(int ms) override {
    tick_.start(ms);
    loop_.exec();
    tick_.stop();
  }
  void showProgress(const CopyProgress& progress) override {
    if (strip_)
      strip_->refresh();
    else if (front_ && front_->isOpen())
      strip_ = std::make_unique<ProgressStrip>(front_->window(), progress);
  }
  // Input that reached the program while the work ended goes the same way as the rest.
  void end() override {
    QCoreApplication::processEvents();
    strip_.reset();
  }

 private:
  InputDropper dropper_;
  QEventLoop loop_;
  QTimer tick_;
  QtForm* front_;
  std::unique_ptr<ProgressStrip> strip_;
};

}  // namespace

// The line stands where the progress stood, cut short with an ellipsis where it is too
// long; its tooltip and its accessible description hold the whole list.
void QtBackend::showOutcome(const CopyOutcome& outcome) {
  delete outcome_.data();
  QtForm* front = frontForm();
  if (outcome.empty() || !front || !front->isOpen()) return;
  QWidget* window = front->window();
  auto* line = new QLabel(window);
  line->setObjectName(QStringLiteral("qmOutcome"));
  line->setGeometry(progressStripRect(*window));
  line->setTextFormat(Qt::PlainText);
  const QString text = QString::fromStdString(outcome.line);
  line->setText(line->fontMetrics().elidedText(text, Qt::ElideMiddle, line->width()));
  line->setToolTip(QString::fromStdString(outcome.details));
  line->setAccessibleName(text);
  line->setAccessibleDescription(QString::fromStdString(outcome.details));
  // It stands on the window's surface, where every movement refreshes the window: tracked,
  // its moves go on to the surface, which takes them as its own.
  line->setProperty(kSurfaceProperty, true);
  line->setMouseTracking(true);
  line->show();
  outcome_ = line;
}

std::unique_ptr<BusyLoop> QtBackend::busyLoop() {
  return std::make_unique<QtBusyLoop>(frontForm());
}

}  // namespace qm::qt
