// Busy runs on the Qt backend: the work on another thread, input dropped, the progress strip.
#include "ui/qt/qt_busy.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <thread>

#include "errors.h"
#include "frmMain.h"
#include "qt_test_util.h"
#include "ui/progress_view.h"

namespace qm::qt {
namespace {

using namespace std::chrono_literals;
using test::makeBackend;
using test::qtForm;
using test::showAndWait;

// clang-format off
// A window with a button, a text box and a free band below them.
const FormLayout& busyLayout() {
  static const FormLayout layout{
    "frmBusy", "作業", 6000, 3000, StartUpPosition::CenterScreen, WindowIcon::CopyTool,
    {
      {ControlType::CommandButton, "cmdQuit", "やめる(&E)", 300,  300, 1500, 495, 1},
      {ControlType::TextBox,       "txtA",    "",           2100, 300, 3000, 375, 0},
    }};
  return layout;
}
// clang-format on

// Runs `work` in a busy run of `ui` and, from this thread while it goes on, `during`;
// the work is held until `during` has run.
void runBusyWith(
    QtBackend& ui, const CopyProgress& progress, const std::function<void()>& during,
    const std::function<void()>& work = [] {}) {
  std::atomic<bool> release{false};
  QTimer::singleShot(kProgressDelayMs + 150, [&] {
    during();
    release = true;
  });
  ui.runWhileBusy(
      [&] {
        work();
        while (!release) std::this_thread::sleep_for(5ms);
      },
      progress);
}

// Regression: a modal loop that merely excludes input keeps it queued; after the copy the
// clicks and keys would run their handlers. They must be gone.
TEST(QtBusyRun, ClicksKeysAndMovesDuringTheRunAreDroppedNotQueued) {
  auto ui = makeBackend();
  auto form = ui->createForm(busyLayout());
  int clicks = 0, moves = 0, focusEvents = 0;
  form->button("cmdQuit").Click = [&] { ++clicks; };
  form->MouseMove = [&](int, int, float, float) { ++moves; };
  showAndWait(*form);
  form->setFocus("txtA");
  form->textBox("txtA").GotFocus = [&] { ++focusEvents; };
  QWidget* window = qtForm(*form).window();
  QWidget* quit = qtForm(*form).widget("cmdQuit");
  auto* box = static_cast<QLineEdit*>(qtForm(*form).widget("txtA"));
  CopyProgress progress;
  // Input as the window system delivers it: to the window, which hands it to its widgets.
  QWindow* handle = window->windowHandle();
  const QPoint onQuit = quit->geometry().center();
  const QPoint onSurface(5, window->height() - 5);
  runBusyWith(*ui, progress, [&] {
    for (Qt::Key key : {Qt::Key_A, Qt::Key_B, Qt::Key_Tab}) QTest::keyClick(handle, key);
    QTest::keyClick(handle, Qt::Key_E, Qt::AltModifier);  // the button's access key
    QTest::mouseClick(handle, Qt::LeftButton, {}, onQuit);
    QTest::mouseMove(handle, onSurface);
    QTest::mouseClick(handle, Qt::LeftButton, {}, onSurface);
  });
  // Whatever had been kept back would be handled now.
  QApplication::processEvents();
  QTest::qWait(50);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(moves, 0);
  EXPECT_EQ(box->text(), QString());
  EXPECT_EQ(QApplication::focusWidget(), box);
  EXPECT_EQ(focusEvents, 0);
  EXPECT_FALSE(ui->busyRunning());
  // And the window takes input again.
  QTest::mouseClick(quit, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

TEST(QtBusyRun, WorkRunsOnAnotherThreadAndItsErrorReachesTheCaller) {
  auto ui = makeBackend();
  CopyProgress progress;
  std::thread::id ranOn;
  try {
    ui->runWhileBusy(
        [&] {
          ranOn = std::this_thread::get_id();
          throw RuntimeError(err::kPathNotFound, "/mnt/usb/写真");
        },
        progress);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPathNotFound);
    EXPECT_EQ(e.path, "/mnt/usb/写真");
  }
  EXPECT_NE(ranOn, std::thread::id());
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_FALSE(ui->busyRunning());
}

// The strip of frmMain lies in the band between Label3 and the buttons, covers and moves
// no control, follows the counters, and is gone when the run ends.
TEST(QtBusyRun, ProgressStripFollowsTheCountersInTheFreeBandAndIsGoneAfter) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  form->label("Label3").setCaption("上記のように、コピーを開始します。");
  showAndWait(*form);
  QWidget* window = qtForm(*form).window();
  std::map<std::string, QRect> before;
  for (const ControlRow& row : frmMainLayout().controls)
    before[std::string(row.name)] = qtForm(*form).widget(row.name)->geometry();
  CopyProgress progress;
  QRect strip;
  std::vector<QString> lines;
  std::vector<int> ranges;
  auto look = [&] {
    auto* s = window->findChild<ProgressStrip*>(QStringLiteral("qmProgress"));
    if (!s || !s->isVisible()) return;
    strip = s->geometry();
    s->refresh();
    lines.push_back(s->line()->text());
    ranges.push_back(s->bar()->maximum());
  };
  runBusyWith(*ui, progress, [&] {
    look();
    progress.filesFound = 40;
    progress.bytesFound = 3 << 20;
    look();
    progress.filesDone = 10;
    progress.bytesDone = 1 << 20;
    progress.walkDone = true;
    look();
  });
  EXPECT_EQ(lines, (std::vector<QString>{"コピーしています…",
                                         "0 / 40 ファイル　0 バイト / 3.0 MB（集計中）",
                                         "10 / 40 ファイル　1.0 MB / 3.0 MB"}));
  EXPECT_EQ(ranges, (std::vector<int>{0, 0, 1000}));  // busy until the total is known
  ASSERT_FALSE(strip.isEmpty());
  EXPECT_TRUE(window->rect().contains(strip));
  for (const ControlRow& row : frmMainLayout().controls) {
    const QRect now = qtForm(*form).widget(row.name)->geometry();
    EXPECT_EQ(now, before[std::string(row.name)]) << row.name;
    EXPECT_FALSE(now.intersects(strip)) << row.name;
  }
  EXPECT_EQ(window->findChild<QWidget*>(QStringLiteral("qmProgress")), nullptr);
}

// A copy shorter than the delay shows no strip at all.
TEST(QtBusyRun, AShortRunShowsNoStrip) {
  auto ui = makeBackend();
  auto form = ui->createForm(frmMainLayout());
  showAndWait(*form);
  QWidget* window = qtForm(*form).window();
  CopyProgress progress;
  bool seen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout,
                   [&] { seen = seen || window->findChild<QWidget*>("qmProgress"); });
  poll.start(5);
  ui->runWhileBusy(
      [] { std::this_thread::sleep_for(std::chrono::milliseconds(kProgressDelayMs / 3)); },
      progress);
  EXPECT_FALSE(seen);
}

}  // namespace
}  // namespace qm::qt
