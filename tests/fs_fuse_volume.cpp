// Makes, mounts and removes FUSE volumes on image files for the volume tests.
#include "fs_fuse_volume.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace qm::posix::testing {

namespace {

#ifdef QM_LYING_VOLUME
const char* const kLyingVolume = QM_LYING_VOLUME;
#else
const char* const kLyingVolume = "";  // not built: no libfuse3 headers
#endif

bool hasCommand(const std::string& name) {
  return runShell("command -v " + name + " >/dev/null 2>&1") == 0;
}

std::string quoted(const std::string& text) {
  return "'" + text + "'";
}

// Whether a file system other than the one of its parent is mounted at `path`.
bool isMountPoint(const std::string& path) {
  struct stat here {};
  struct stat above {};
  return ::stat(path.c_str(), &here) == 0 && ::stat((path + "/..").c_str(), &above) == 0 &&
         here.st_dev != above.st_dev;
}

// The processes other than this one with `argument` among their arguments.
std::vector<pid_t> processesNaming(const std::string& argument) {
  std::vector<pid_t> found;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return found;
  while (const dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0 || pid == ::getpid()) continue;
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    for (std::string arg; std::getline(file, arg, '\0');)
      if (arg == argument) {
        found.push_back(pid);
        break;
      }
  }
  ::closedir(proc);
  return found;
}

// Whether `pid` still runs: not gone and not a zombie waiting to be reaped.
bool isRunning(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  return file >> pidText >> name >> state && state != "Z";
}

}  // namespace

int runShell(const std::string& command, std::string* output) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[256];
  std::string text;
  while (const size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

FuseVolume::FuseVolume(Kind kind, const std::string& folder, int sizeMiB)
    : kind_(kind), image_(folder + "/volume.img"), mountPoint_(folder + "/mnt") {
  const bool fat = kind != Kind::kExfat;
  std::vector<std::string> tools{fat ? "mkfs.vfat" : "mkfs.exfat",
                                 fat ? "fusefat" : "mount.exfat-fuse",
                                 fat ? "fusermount" : "losetup"};
  if (lying()) tools = {kLyingVolume};
  if (::geteuid() != 0) {
    skipReason_ = "FUSE volume tests need root (to mount images and use loop devices)";
    return;
  }
  if (::access("/dev/fuse", R_OK | W_OK) != 0) {
    skipReason_ = "FUSE volume tests need /dev/fuse";
    return;
  }
  for (const std::string& tool : tools) {
    if (tool.empty() || !hasCommand(tool)) {
      skipReason_ =
          "FUSE volume tests need " + (tool.empty() ? "libfuse3-dev" : tool) + " (bash tools/deps)";
      return;
    }
  }
  ::mkdir(mountPoint_.c_str(), 0755);
  if (!lying() && ::truncate(image_.c_str(), off_t{sizeMiB} << 20) != 0 &&
      runShell("truncate -s " + std::to_string(sizeMiB) + "M " + quoted(image_)) != 0) {
    skipReason_ = "cannot make the image " + image_;
    return;
  }
  if (!format() || !attach()) {
    if (skipReason_.empty()) skipReason_ = "cannot mount " + image_ + " at " + mountPoint_;
    return;
  }
  mounted_ = true;
}

bool FuseVolume::format() {
  if (lying()) return ::mkdir(backing().c_str(), 0755) == 0;
  if (kind_ != Kind::kExfat)
    return runShell("mkfs.vfat -F 32 " + quoted(image_) + " >/dev/null 2>&1") == 0;
  if (runShell("mkfs.exfat " + quoted(image_) + " >/dev/null 2>&1") != 0) return false;
  // As root exfat-fuse mounts block devices only.
  if (runShell("losetup -f --show " + quoted(image_) + " 2>/dev/null", &loopDevice_) != 0) {
    skipReason_ = "no free loop device for the exFAT image";
    loopDevice_.clear();
    return false;
  }
  while (!loopDevice_.empty() && loopDevice_.back() == '\n') loopDevice_.pop_back();
  return true;
}

bool FuseVolume::attach() {
  if (lying()) {
    const std::string mode = kind_ == Kind::kLyingUncached ? "QM_LYING_NO_CACHE=1 "
                             : kind_ == Kind::kNormalizing ? "QM_LYING_NORMALIZE=1 "
                                                           : "";
    runShell(mode + quoted(kLyingVolume) + " " + quoted(backing()) + " " + quoted(mountPoint_) +
             " >/dev/null 2>&1");
  } else if (kind_ != Kind::kExfat) {
    const std::string zone = kind_ == Kind::kFat32InTokyo ? "TZ=Asia/Tokyo " : "";
    runShell(zone + "fusefat -o rw+ " + quoted(image_) + " " + quoted(mountPoint_) +
             " >/dev/null 2>&1");
  } else {
    runShell("mount.exfat-fuse " + loopDevice_ + " " + quoted(mountPoint_) + " >/dev/null 2>&1");
  }
  for (int waited = 0; waited < 100 && !isMountPoint(mountPoint_); ++waited) ::usleep(50000);
  return isMountPoint(mountPoint_);
}

std::string FuseVolume::listed(std::string path) const {
  if (kind_ != Kind::kNormalizing) return path;
  for (std::size_t at = 0; (at = path.find("e\xCC\x81", at)) != std::string::npos; at += 2)
    path.replace(at, 3, "\xC3\xA9");
  return path;
}

void FuseVolume::vanish() {
  if (!mounted_ || vanished_) return;
  vanished_ = true;
  const std::vector<pid_t> drivers = processesNaming(mountPoint_);
  for (const pid_t pid : drivers) ::kill(pid, SIGKILL);
  for (const pid_t pid : drivers)
    for (int waited = 0; waited < 400 && isRunning(pid); ++waited) ::usleep(5000);
}

bool FuseVolume::remount() {
  if (!vanished_) return false;
  runShell("umount -l " + quoted(mountPoint_) + " 2>/dev/null");
  vanished_ = false;
  mounted_ = attach();
  return mounted_;
}

FuseVolume::~FuseVolume() {
  // A mount whose driver is gone can no longer be looked at, only detached.
  if (vanished_) runShell("umount -l " + quoted(mountPoint_) + " 2>/dev/null");
  if (mounted_ && !vanished_) {
    // The daemon may still be busy with the last writes; umount waits for it.
    for (int attempt = 0; attempt < 50 && isMountPoint(mountPoint_); ++attempt) {
      if (runShell("umount " + quoted(mountPoint_) + " 2>/dev/null") != 0) ::usleep(100000);
    }
  }
  if (!loopDevice_.empty()) runShell("losetup -d " + loopDevice_ + " 2>/dev/null");
  ::unlink(image_.c_str());
  if (lying()) runShell("rm -rf " + quoted(backing()));
  ::rmdir(mountPoint_.c_str());
}

}  // namespace qm::posix::testing
