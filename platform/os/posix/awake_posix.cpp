// Keeps the computer awake on Linux: logind's inhibitor lock, asked for on the system bus.
#include "os/awake.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <string>

namespace qm {
namespace {

// How long logind is waited for; it answers at once where it runs at all.
constexpr int kAnswerMs = 2000;

// A private connection to the system bus, closed again when done; null where there is none.
struct Bus {
  Bus() {
    DBusError error;
    dbus_error_init(&error);
    connection = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    dbus_error_free(&error);
    // A bus that goes away must not end the program, as libdbus would by default.
    if (connection) dbus_connection_set_exit_on_disconnect(connection, FALSE);
  }
  ~Bus() {
    if (!connection) return;
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
  }
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;
  DBusConnection* connection = nullptr;
};

struct Message {
  explicit Message(DBusMessage* m) : message(m) {}
  ~Message() {
    if (message) dbus_message_unref(message);
  }
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;
  DBusMessage* message;
};

// logind's Inhibit("sleep", who, why, "block"): the lock's descriptor, or -1.
int askLogind(const std::string& who, const std::string& why) {
  Bus bus;
  if (!bus.connection) return -1;
  const Message call(dbus_message_new_method_call("org.freedesktop.login1",
                                                  "/org/freedesktop/login1",
                                                  "org.freedesktop.login1.Manager", "Inhibit"));
  if (!call.message) return -1;
  const char* what = "sleep";
  const char* mode = "block";
  const char* whoText = who.c_str();
  const char* whyText = why.c_str();
  if (!dbus_message_append_args(call.message, DBUS_TYPE_STRING, &what, DBUS_TYPE_STRING, &whoText,
                                DBUS_TYPE_STRING, &whyText, DBUS_TYPE_STRING, &mode,
                                DBUS_TYPE_INVALID))
    return -1;
  DBusError error;
  dbus_error_init(&error);
  const Message reply(
      dbus_connection_send_with_reply_and_block(bus.connection, call.message, kAnswerMs, &error));
  int fd = -1;
  if (reply.message &&
      !dbus_message_get_args(reply.message, &error, DBUS_TYPE_UNIX_FD, &fd, DBUS_TYPE_INVALID))
    fd = -1;
  dbus_error_free(&error);
  return fd;
}

}  // namespace

// The lock is held for as long as its descriptor is open.
struct KeepAwake::Lock {
  int fd;
};

KeepAwake::KeepAwake(std::string_view who, std::string_view why) {
  // Connections may be made on several threads of one program (one per copy).
  dbus_threads_init_default();
  const int fd = askLogind(std::string(who), std::string(why));
  if (fd >= 0) lock_ = std::make_unique<Lock>(Lock{fd});
}

KeepAwake::~KeepAwake() {
  if (lock_) ::close(lock_->fd);
}

}  // namespace qm
