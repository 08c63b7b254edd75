// Program start on POSIX: name resolution and a detached start by double fork.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <filesystem>

#include "os/roots.h"
#include "error_numbers.h"
#include "errors.h"
#include "os/process.h"
#include "process_posix.h"

namespace qm {

namespace {

std::string withoutExe(std::string_view name) {
  constexpr std::string_view ext = ".exe";
  if (name.size() > ext.size()) {
    const std::string_view tail = name.substr(name.size() - ext.size());
    bool same = true;
    for (std::size_t i = 0; i < ext.size(); ++i)
      same = same && std::tolower(static_cast<unsigned char>(tail[i])) == ext[i];
    if (same) return std::string(name.substr(0, name.size() - ext.size()));
  }
  return std::string(name);
}

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Writes errno to the pipe and leaves; only async-signal-safe calls after fork.
[[noreturn]] void failChild(int pipeFd) {
  const int code = errno;
  [[maybe_unused]] const auto n = ::write(pipeFd, &code, sizeof code);
  ::_exit(127);
}

}  // namespace

std::string ownProgramFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? currentFolder() : exe.parent_path().string();
}

std::string resolveProgram(std::string_view bareName, const std::string& ownFolder,
                           const std::string& cwd) {
  const std::string name = withoutExe(bareName);
  if (name.empty()) throw RuntimeError(err::kFileNotFound, bareName);
  bool foundButNotRunnable = false;
  for (const std::string& folder : {ownFolder, cwd}) {
    const std::string path = normalFolder(name, folder);
    if (!isRegularFile(path)) continue;
    if (::access(path.c_str(), X_OK) == 0) return path;
    foundButNotRunnable = true;
  }
  throw RuntimeError(foundButNotRunnable ? err::kPermissionDenied : err::kFileNotFound, bareName);
}

void startDetached(const std::string& path) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw RuntimeError(errorNumberFromErrno(errno), path);
  char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw RuntimeError(errorNumberFromErrno(errno), path);
  }
  if (child == 0) {
    ::close(fds[0]);
    if (::setsid() < 0) failChild(fds[1]);
    const pid_t grandchild = ::fork();
    if (grandchild < 0) failChild(fds[1]);
    if (grandchild > 0) ::_exit(0);
    ::execv(path.c_str(), argv);
    failChild(fds[1]);
  }
  ::close(fds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data when exec succeeded.
  int code = 0;
  ssize_t got;
  while ((got = ::read(fds[0], &code, sizeof code)) < 0 && errno == EINTR) {
  }
  ::close(fds[0]);
  if (got == static_cast<ssize_t>(sizeof code))
    throw RuntimeError(errorNumberFromErrno(code), path);
}

// The window style has no meaning for a started X program: its window is normal and
// takes the focus anyway.
void startProgramByName(std::string_view bareName, int) {
  startDetached(resolveProgram(bareName, ownProgramFolder(), currentFolder()));
}

std::string machineName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace qm
