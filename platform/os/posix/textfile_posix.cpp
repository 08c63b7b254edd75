// Whole-file reads and atomic replacement with POSIX calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <utility>

#include "error_numbers.h"
#include "errors.h"
#include "textfile.h"

namespace qm {
namespace {

[[noreturn]] void fail(int code, const std::string& path) {
  throw RuntimeError(errorNumberFromErrno(code), path);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates the folder and its missing parents: the configuration folder that stands in
// for the Windows directory need not exist yet on a new account.
void makeFolders(const std::string& folder) {
  struct stat st;
  if (folder.empty() || ::stat(folder.c_str(), &st) == 0) return;
  makeFolders(folderOf(folder));
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) fail(errno, folder);
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

std::string readWholeFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) fail(errno, path);
  std::string out;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, path);
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

void replaceFileAtomically(const std::string& path, std::string_view bytes) {
  makeFolders(folderOf(path));
  std::random_device random;
  std::string temp;
  int raw = -1;
  for (int attempt = 0; raw < 0; ++attempt) {
    temp = path + ".tmp" + std::to_string(random());
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && (errno != EEXIST || attempt > 100)) fail(errno, path);
  }
  Fd fd(raw);
  try {
    writeAll(fd.get(), bytes, path);
    if (::fsync(fd.get()) != 0) fail(errno, path);
    if (::close(fd.release()) != 0) fail(errno, path);
    if (::rename(temp.c_str(), path.c_str()) != 0) fail(errno, path);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace qm
