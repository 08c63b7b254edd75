// Temporary folders and tree snapshots for the file-system tests.
#include "fs_test_util.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "copy/progress.h"
#include "errors.h"
#include "copy/copy_folder.h"

namespace qm::posix::testing {

namespace stdfs = std::filesystem;

TempDir::TempDir() {
  char pattern[] = "/tmp/qm_fs_test.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  // Read-only folders left by a test must become writable again to be removed.
  std::error_code error;
  for (auto it = stdfs::recursive_directory_iterator(path_, error);
       it != stdfs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) ::chmod(it->path().c_str(), 0700);
  }
  stdfs::remove_all(path_, error);
  // Trees deeper than a path the system takes: rm walks them by descriptors.
  if (stdfs::exists(path_, error)) std::system(("rm -rf '" + path_ + "'").c_str());
}

void writeFile(const std::string& path, const std::string& contents, mode_t mode) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  ::chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void setTime(const std::string& path, time_t seconds, long nanoseconds) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    throw std::runtime_error("utimensat failed on " + path);
  }
}

struct stat statOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) throw std::runtime_error("lstat failed on " + path);
  return st;
}

namespace {

std::string describe(const stdfs::path& path) {
  const struct stat st = statOf(path.string());
  std::ostringstream line;
  line << std::oct << (st.st_mode & 07777) << std::dec << ' ' << st.st_mtim.tv_sec << '.'
       << st.st_mtim.tv_nsec << ' ';
  if (S_ISLNK(st.st_mode)) {
    line << "link " << stdfs::read_symlink(path).string();
  } else if (S_ISDIR(st.st_mode)) {
    line << "dir";
  } else if (S_ISFIFO(st.st_mode)) {
    line << "fifo";
  } else {
    line << "file " << st.st_size << ' ' << readFile(path.string());
  }
  return line.str();
}

}  // namespace

namespace {

// Visits every entry below `folder` without following links.
void collect(const stdfs::path& folder, const stdfs::path& relative,
             std::map<std::string, std::string>& entries) {
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    const stdfs::path name = relative / entry.path().filename();
    entries[name.string()] = describe(entry.path());
    if (S_ISDIR(statOf(entry.path().string()).st_mode)) collect(entry.path(), name, entries);
  }
}

}  // namespace

std::map<std::string, std::string> snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  collect(root, {}, entries);
  return entries;
}

std::vector<std::string> entriesBelow(const std::string& root) {
  std::vector<std::string> names;
  std::error_code ec;
  const std::filesystem::recursive_directory_iterator end;
  for (std::filesystem::recursive_directory_iterator it(root, ec); !ec && it != end;
       it.increment(ec))
    names.push_back(it->path().lexically_relative(root).string());
  return names;
}

std::map<std::string, std::string> contentsBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = std::filesystem::relative(e.path(), root).string();
    files[name] = e.is_directory() ? "folder" : readFile(e.path().string());
  }
  return files;
}

int countTemporaryFiles(const std::string& root) {
  int count = 0;
  for (const auto& [name, description] : snapshot(root)) {
    if (name.ends_with(".tmp")) ++count;
  }
  return count;
}

CopyOptions testOptions() {
  CopyOptions options;
  const char* method = std::getenv("QM_TEST_DATA_METHOD");
  if (method == nullptr || *method == '\0') return options;
  const std::string_view name = method;
  options.data = name == "ring"     ? DataMethod::Ring
                 : name == "clone"  ? DataMethod::Clone
                 : name == "kernel" ? DataMethod::Kernel
                 : name == "buffered"
                     ? DataMethod::Buffered
                     : throw std::invalid_argument("QM_TEST_DATA_METHOD: " + std::string(name));
  return options;
}

int copyNumber(const std::string& source, const std::string& destination,
               const CopyOptions& options) {
  if (options.progress) options.progress->reset();
  try {
    copy::copyFolderOrThrow(source, destination, options);
  } catch (const RuntimeError& e) {
    return e.number;
  }
  return 0;
}

int copyNumber(const std::string& source, const std::string& destination, CopyProgress& progress) {
  CopyOptions options = testOptions();
  options.progress = &progress;
  return copyNumber(source, destination, options);
}

void make(const std::string& root, const std::vector<Made>& files) {
  std::filesystem::create_directories(root);
  for (const Made& m : files) {
    const std::string path = root + "/" + m.name;
    if (m.name.ends_with('/')) {
      std::filesystem::create_directories(path);
      continue;
    }
    writeFile(path, m.contents);
    if (m.size > 0 && ::truncate(path.c_str(), static_cast<off_t>(m.size)) != 0)
      throw std::runtime_error("cannot make " + path + " sparse");
  }
}

int numberInChild(const std::function<void()>& work, uid_t uid, gid_t gid) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    int number = 0;
    if (uid != static_cast<uid_t>(-1) &&
        (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
         ::setresuid(uid, uid, uid) != 0)) {
      ::_exit(255);
    }
    try {
      work();
    } catch (const RuntimeError& error) {
      number = error.number;
    } catch (...) {
      number = 254;
    }
    ::_exit(number);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) >= 254 ? -1 : WEXITSTATUS(status);
}

namespace {

void appendLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void appendEntry(std::string& out, unsigned tag, unsigned bits, uint32_t id) {
  appendLe(out, tag, 2);
  appendLe(out, bits, 2);
  appendLe(out, id, 4);
}

}  // namespace

std::string aclValue(unsigned owner, unsigned group, unsigned other,
                     const std::vector<AclEntry>& users) {
  constexpr uint32_t kUndefined = 0xffffffff;
  std::string value;
  appendLe(value, 2, 4);  // version
  appendEntry(value, 0x01, owner, kUndefined);
  for (const AclEntry& user : users) appendEntry(value, 0x02, user.bits, user.user);
  appendEntry(value, 0x04, group, kUndefined);
  if (!users.empty()) {
    unsigned mask = group;
    for (const AclEntry& user : users) mask |= user.bits;
    appendEntry(value, 0x10, mask, kUndefined);
  }
  appendEntry(value, 0x20, other, kUndefined);
  return value;
}

std::string attribute(const std::string& path, const std::string& name) {
  char value[4096];
  const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
  return size < 0 ? std::string("<none>") : std::string(value, static_cast<size_t>(size));
}

}  // namespace qm::posix::testing
