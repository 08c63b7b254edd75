// Wrappers for the calls the engine makes; the linker routes them here (-Wl,--wrap=NAME),
// which works for the static engine library without preloading anything, so it also
// runs under the sanitizers.
#include "fs_faults.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace qm::posix::testing {

namespace {

struct Injection {
  std::atomic<bool> active{false};
  std::function<void()> before;  // set while no copy runs
  std::atomic<int> error{0};
  std::atomic<long> result{-1};
  std::atomic<std::uint64_t> count{0};
};

std::array<Injection, static_cast<size_t>(Call::kCount)> injections;

Injection& slot(Call call) {
  return injections[static_cast<size_t>(call)];
}

}  // namespace

Fault::Fault(Call call, int error, long result) : call_(call) {
  slot(call).error = error;
  slot(call).result = result;
  slot(call).active = true;
}

Fault::~Fault() {
  slot(call_).active = false;
}

namespace {
std::atomic<const char*> faultName{nullptr};
}  // namespace

OpenFault::OpenFault(const char* name, int error) {
  slot(Call::kOpenat).error = error;
  faultName = name;
  slot(Call::kOpenat).active = true;
}

OpenFault::~OpenFault() {
  slot(Call::kOpenat).active = false;
  faultName = nullptr;
}

// Whether an open of `path` is the one an OpenFault names.
bool namedByFault(const char* path) {
  const char* name = faultName.load();
  if (name == nullptr || path == nullptr) return false;
  const char* slash = std::strrchr(path, '/');
  return std::strcmp(slash ? slash + 1 : path, name) == 0;
}

std::uint64_t calls(Call call) {
  return slot(call).count.load();
}

void resetCalls() {
  for (auto& injection : injections) injection.count = 0;
}

BeforeCall::BeforeCall(Call call, std::function<void()> before) : call_(call) {
  slot(call).before = std::move(before);
}

BeforeCall::~BeforeCall() {
  slot(call_).before = nullptr;
}

bool refuseRingSetup(int error) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_io_uring_setup, 0, 1),
      BPF_STMT(BPF_RET | BPF_K,
               SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Counts the call; true with `result` set when it is to fail.
template <typename Result>
bool injected(Call call, Result& result) {
  Injection& injection = slot(call);
  injection.count.fetch_add(1);
  if (injection.before) injection.before();
  if (!injection.active) return false;
  if (injection.error != 0) {
    errno = injection.error;
    result = static_cast<Result>(-1);
  } else {
    result = static_cast<Result>(injection.result.load());
  }
  return true;
}

}  // namespace qm::posix::testing

using qm::posix::testing::Call;
using qm::posix::testing::injected;
using qm::posix::testing::namedByFault;

extern "C" {

int __real_fchmod(int, mode_t);
int __real_fchmodat(int, const char*, mode_t, int);
int __real_futimens(int, const struct timespec*);
int __real_utimensat(int, const char*, const struct timespec*, int);
int __real_fchown(int, uid_t, gid_t);
int __real_fchownat(int, const char*, uid_t, gid_t, int);
int __real_fsetxattr(int, const char*, const void*, size_t, int);
int __real_fremovexattr(int, const char*);
ssize_t __real_copy_file_range(int, off_t*, int, off_t*, size_t, unsigned);
ssize_t __real_pwrite(int, const void*, size_t, off_t);
int __real_renameat2(int, const char*, int, const char*, unsigned);
int __real_openat(int, const char*, int, ...);
int __real_open(const char*, int, ...);

int __wrap_fchmod(int fd, mode_t mode) {
  int result = 0;
  return injected(Call::kFchmod, result) ? result : __real_fchmod(fd, mode);
}

int __wrap_fchmodat(int dirFd, const char* name, mode_t mode, int flags) {
  int result = 0;
  return injected(Call::kFchmodat, result) ? result : __real_fchmodat(dirFd, name, mode, flags);
}

int __wrap_futimens(int fd, const struct timespec* times) {
  int result = 0;
  return injected(Call::kFutimens, result) ? result : __real_futimens(fd, times);
}

int __wrap_utimensat(int dirFd, const char* name, const struct timespec* times, int flags) {
  int result = 0;
  return injected(Call::kUtimensat, result) ? result : __real_utimensat(dirFd, name, times, flags);
}

int __wrap_fchown(int fd, uid_t owner, gid_t group) {
  int result = 0;
  return injected(Call::kFchown, result) ? result : __real_fchown(fd, owner, group);
}

int __wrap_fchownat(int dirFd, const char* name, uid_t owner, gid_t group, int flags) {
  int result = 0;
  return injected(Call::kFchownat, result) ? result
                                           : __real_fchownat(dirFd, name, owner, group, flags);
}

int __wrap_fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  int result = 0;
  return injected(Call::kFsetxattr, result) ? result
                                            : __real_fsetxattr(fd, name, value, size, flags);
}

int __wrap_fremovexattr(int fd, const char* name) {
  int result = 0;
  return injected(Call::kFremovexattr, result) ? result : __real_fremovexattr(fd, name);
}

ssize_t __wrap_copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t length,
                               unsigned flags) {
  ssize_t result = 0;
  return injected(Call::kCopyFileRange, result)
             ? result
             : __real_copy_file_range(in, inOffset, out, outOffset, length, flags);
}

ssize_t __wrap_pwrite(int fd, const void* data, size_t size, off_t offset) {
  ssize_t result = 0;
  return injected(Call::kPwrite, result) ? result : __real_pwrite(fd, data, size, offset);
}

int __wrap_renameat2(int fromFd, const char* from, int toFd, const char* to, unsigned flags) {
  int result = 0;
  return injected(Call::kRenameat2, result) ? result
                                            : __real_renameat2(fromFd, from, toFd, to, flags);
}

int __wrap_openat(int dirFd, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  int result = 0;
  if (namedByFault(path) && injected(Call::kOpenat, result)) return result;
  return __real_openat(dirFd, path, flags, mode);
}

// The read-back opens its files by path.
int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  int result = 0;
  return injected(Call::kOpen, result) ? result : __real_open(path, flags, mode);
}

#ifdef QM_HAVE_LIBURING
struct io_uring;
int __real_io_uring_submit_and_wait(io_uring*, unsigned);

// liburing's convention: a negated errno.
int __wrap_io_uring_submit_and_wait(io_uring* ring, unsigned wait) {
  int result = 0;
  if (injected(Call::kRingSubmit, result)) return result < 0 ? -errno : result;
  return __real_io_uring_submit_and_wait(ring, wait);
}
#endif

}  // extern "C"
