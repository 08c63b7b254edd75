// The logind inhibitor lock of a running copy, over Qt's D-Bus module.
#include "qt_awake.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingReply>

namespace qm::qt {

SleepInhibitor::SleepInhibitor(const QString& who, const QString& why) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
  call << QStringLiteral("sleep") << who << why << QStringLiteral("block");
  pending_ = std::make_unique<QDBusPendingCallWatcher>(bus.asyncCall(call));
  QObject::connect(pending_.get(), &QDBusPendingCallWatcher::finished, [this] {
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *pending_;
    if (reply.isValid()) lock_ = reply.value();
  });
}

// The lock's descriptor closes with lock_; an answer still to come is dropped with the
// watcher, and its descriptor with it.
SleepInhibitor::~SleepInhibitor() = default;

}  // namespace qm::qt
