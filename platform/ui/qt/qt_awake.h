// Keeps the computer from going to sleep while a copy runs: a logind inhibitor lock.
#pragma once

#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QString>

#include <memory>

namespace qm::qt {

// Asks logind on the system bus for a lock that blocks sleep ("sleep", mode "block"),
// without waiting for the answer; the lock is held from the answer on and let go when
// this is destroyed, however the copy ended. Where no logind answers (no system bus, no
// logind, a refusal), nothing is held and nothing is said.
class SleepInhibitor {
 public:
  SleepInhibitor(const QString& who, const QString& why);
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // Whether logind has given the lock.
  bool held() const { return lock_.isValid(); }

 private:
  std::unique_ptr<QDBusPendingCallWatcher> pending_;
  QDBusUnixFileDescriptor lock_;
};

}  // namespace qm::qt
