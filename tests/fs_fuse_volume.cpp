// Makes, mounts and removes FUSE volumes on image files for the volume tests.
#include "fs_fuse_volume.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace qm::fs::testing {

namespace {

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
    : image_(folder + "/volume.img"), mountPoint_(folder + "/mnt") {
  const bool fat = kind != Kind::kExfat;
  const char* tools[] = {fat ? "mkfs.vfat" : "mkfs.exfat", fat ? "fusefat" : "mount.exfat-fuse",
                         fat ? "fusermount" : "losetup"};
  if (::geteuid() != 0) {
    skipReason_ = "FUSE volume tests need root (to mount images and use loop devices)";
    return;
  }
  if (::access("/dev/fuse", R_OK | W_OK) != 0) {
    skipReason_ = "FUSE volume tests need /dev/fuse";
    return;
  }
  for (const char* tool : tools) {
    if (!hasCommand(tool)) {
      skipReason_ = std::string("FUSE volume tests need ") + tool + " (bash tools/deps)";
      return;
    }
  }
  ::mkdir(mountPoint_.c_str(), 0755);
  if (::truncate(image_.c_str(), off_t{sizeMiB} << 20) != 0 &&
      runShell("truncate -s " + std::to_string(sizeMiB) + "M " + quoted(image_)) != 0) {
    skipReason_ = "cannot make the image " + image_;
    return;
  }
  if (!mount(kind)) {
    if (skipReason_.empty()) skipReason_ = "cannot mount " + image_ + " at " + mountPoint_;
    return;
  }
  mounted_ = true;
}

bool FuseVolume::mount(Kind kind) {
  if (kind != Kind::kExfat) {
    if (runShell("mkfs.vfat -F 32 " + quoted(image_) + " >/dev/null 2>&1") != 0) return false;
    const std::string zone = kind == Kind::kFat32InTokyo ? "TZ=Asia/Tokyo " : "";
    runShell(zone + "fusefat -o rw+ " + quoted(image_) + " " + quoted(mountPoint_) +
             " >/dev/null 2>&1");
  } else {
    if (runShell("mkfs.exfat " + quoted(image_) + " >/dev/null 2>&1") != 0) return false;
    // As root exfat-fuse mounts block devices only.
    if (runShell("losetup -f --show " + quoted(image_) + " 2>/dev/null", &loopDevice_) != 0) {
      skipReason_ = "no free loop device for the exFAT image";
      loopDevice_.clear();
      return false;
    }
    while (!loopDevice_.empty() && loopDevice_.back() == '\n') loopDevice_.pop_back();
    runShell("mount.exfat-fuse " + loopDevice_ + " " + quoted(mountPoint_) + " >/dev/null 2>&1");
  }
  for (int waited = 0; waited < 100 && !isMountPoint(mountPoint_); ++waited) ::usleep(50000);
  return isMountPoint(mountPoint_);
}

FuseVolume::~FuseVolume() {
  if (mounted_) {
    // The daemon may still be busy with the last writes; umount waits for it.
    for (int attempt = 0; attempt < 50 && isMountPoint(mountPoint_); ++attempt) {
      if (runShell("umount " + quoted(mountPoint_) + " 2>/dev/null") != 0) ::usleep(100000);
    }
  }
  if (!loopDevice_.empty()) runShell("losetup -d " + loopDevice_ + " 2>/dev/null");
  ::unlink(image_.c_str());
  ::rmdir(mountPoint_.c_str());
}

}  // namespace qm::fs::testing
