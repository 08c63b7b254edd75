// The copy keeps the computer awake: a logind inhibitor lock asked for on the system bus,
// here a private bus served by a fake logind that records the call, held while the copy
// runs and let go after it.
#include "os/awake.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <atomic>
#include <functional>

#include "copy/result.h"
#include "qt_test_util.h"
#include "ui/busy_copy.h"
#include "ui/qt/qt_backend.h"

namespace qm::qt {
namespace {

// logind's Inhibit as a fake: records the arguments, answers with the write end of a pipe
// and keeps the read end, which sees the end of the pipe once the lock is let go.
class FakeLogind : public QDBusVirtualObject {
 public:
  ~FakeLogind() override {
    if (readEnd >= 0) ::close(readEnd);
  }
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("Inhibit")) return false;
    for (const QVariant& argument : message.arguments()) arguments << argument.toString();
    int ends[2];
    if (::pipe(ends) != 0) return false;
    readEnd = ends[0];
    connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
    ::close(ends[1]);  // the reply holds its own copy
    return true;
  }
  // Whether every copy of the lock's descriptor is closed.
  bool released() const {
    pollfd end{readEnd.load(), POLLIN, 0};
    return readEnd >= 0 && ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
  }
  QStringList arguments;
  std::atomic<int> readEnd{-1};
};

// A bus of its own, made the system bus of this process (each test runs in a process of
// its own, and the system bus is connected once per process).
class PrivateSystemBus : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000))
      GTEST_SKIP() << "no dbus-daemon (bash tools/deps)";
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
  }
  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
    daemon_.kill();
    daemon_.waitForFinished(5000);
  }
  // Serves the fake on the bus as org.freedesktop.login1.
  bool serve(FakeLogind& fake) {
    QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("fake-logind"));
    return bus.registerService(QStringLiteral("org.freedesktop.login1")) &&
           bus.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &fake);
  }
  static void turnUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QTest::qWait(10);
  }
  QProcess daemon_;
  QString address_;
};

TEST_F(PrivateSystemBus, ACopyHoldsASleepLockWhileItRunsAndLetsItGoAfter) {
  FakeLogind fake;
  ASSERT_TRUE(serve(fake));
  auto ui = test::makeBackend();
  bool heldDuring = false;
  BusyCopyObject fso(*ui,
                     [&](std::string_view, std::string_view, const CopyOptions&, CopyProgress&) {
                       QThread::msleep(50);
                       heldDuring = fake.readEnd >= 0 && !fake.released();
                       return copy::CopyResult{};
                     });
  fso.CopyFolder("/from", "/to/", true);
  EXPECT_EQ(fake.arguments,
            (QStringList{QStringLiteral("sleep"), QStringLiteral("QM(Quillmar)"),
                         QStringLiteral("フォルダーをコピーしています"), QStringLiteral("block")}));
  EXPECT_TRUE(heldDuring) << "the lock was not held while the copy ran";
  turnUntil([&] { return fake.released(); }, 1000);
  EXPECT_TRUE(fake.released()) << "the lock is still held after the copy";
}

TEST_F(PrivateSystemBus, WithoutLogindTheCopyGoesOnWithoutAWord) {
  const KeepAwake awake("QM(Quillmar)", "x");
  EXPECT_FALSE(awake.held());
}

}  // namespace
}  // namespace qm::qt
