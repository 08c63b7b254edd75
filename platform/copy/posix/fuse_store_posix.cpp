// Finds the device or image file behind a FUSE volume: the mount table, else its driver.
#include "fuse_store.h"

#include <dirent.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "errors.h"
#include "os/textfile.h"

namespace qm::posix {

namespace {

// A path of the mount table, whose blanks and backslashes are written as octal escapes.
std::string unescaped(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// The mount point and source of the volume `device`, from this process's mount table.
std::pair<std::string, std::string> mountOf(dev_t device) {
  std::ifstream table("/proc/self/mountinfo");
  const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point, word, type, source;
    fields >> id >> parent >> numbers >> root >> point;
    if (numbers != wanted) continue;
    while (fields >> word && word != "-") {
    }
    fields >> type >> source;
    return {unescaped(point), unescaped(source)};
  }
  return {};
}

std::string realPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool isStore(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 &&
         (S_ISBLK(st.st_mode) || S_ISREG(st.st_mode));
}

// The whole of a file under /proc/PID; empty where the process is gone or cannot be read.
// A process may end while it is read (ESRCH): that is no failure of the copy.
std::string processFile(const std::string& path) {
  try {
    return readWholeFile(path);
  } catch (const RuntimeError&) {
    return {};
  }
}

// The device or file named on the command line of the process that serves `point`: the one
// with an argument that is the mount point, and another that is a device or a file.
std::string storeOfDriver(const std::string& point) {
  const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return "";
  std::string found;
  while (const dirent* item = ::readdir(proc.get())) {
    if (item->d_name[0] < '1' || item->d_name[0] > '9') continue;
    const std::string at = std::string("/proc/") + item->d_name;
    const std::string cwd = realPath(at + "/cwd");
    const std::string line = processFile(at + "/cmdline");
    if (cwd.empty() || line.empty()) continue;
    std::vector<std::string> args;
    for (std::size_t start = 0; start < line.size();) {
      const std::size_t end = line.find('\0', start);
      const std::string arg = line.substr(start, end - start);
      args.push_back(realPath(arg.starts_with('/') ? arg : cwd + "/" + arg));
      start = end == std::string::npos ? line.size() : end + 1;
    }
    bool serves = false;
    std::string store;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == point)
        serves = true;
      else if (store.empty() && args[i] != args[0] && isStore(args[i]))
        store = args[i];
    }
    if (serves && !store.empty()) {
      found = store;
      break;
    }
  }
  return found;
}

}  // namespace

std::string fuseBackingStore(int dirFd) {
  struct statfs info {};
  struct stat st {};
  if (::fstatfs(dirFd, &info) != 0 || ::fstat(dirFd, &st) != 0 ||
      static_cast<unsigned long>(info.f_type) != FUSE_SUPER_MAGIC)
    return "";
  const auto [point, source] = mountOf(st.st_dev);
  if (source.starts_with('/') && isStore(source)) return source;
  return point.empty() ? "" : storeOfDriver(point);
}

}  // namespace qm::posix
