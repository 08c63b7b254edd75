// FAT32 and exFAT images, and volumes that lie, mounted with FUSE for the length of a test.
#pragma once

#include <string>

namespace qm::posix::testing {

class FuseVolume {
 public:
  // kFat32InTokyo: a FAT32 volume whose driver runs in Tokyo time (TZ=Asia/Tokyo), so that
  // every time is read back shifted by nine hours from the time set.
  // kLying: the tests' own volume that stores what it is given in a folder but hands other
  // bytes back once the kernel's cache is passed (see lying_volume.c); kLyingUncached
  // drops the cache on every open. kNormalizing: that volume taking names as a share that
  // normalises them does (as a Mac's), "é" composed and decomposed for one name, stored
  // composed (names holding "flip" or "zero" still read back wrong).
  enum class Kind { kFat32, kExfat, kFat32InTokyo, kLying, kLyingUncached, kNormalizing };

  // Makes an image of `sizeMiB` in `folder` and mounts it at `folder`/mnt: FAT32 with
  // fusefat, exFAT with exfat-fuse on a loop device (a lying volume keeps its files in
  // `folder`/backing instead). Where this machine cannot (not root, no /dev/fuse, a tool
  // missing), skipReason() says why and nothing is mounted.
  FuseVolume(Kind kind, const std::string& folder, int sizeMiB);
  ~FuseVolume();
  FuseVolume(const FuseVolume&) = delete;
  FuseVolume& operator=(const FuseVolume&) = delete;

  const std::string& mountPoint() const { return mountPoint_; }
  // Kills the volume's driver, as a stick pulled out does: every call on the mount then
  // fails (ENOTCONN) until it is unmounted.
  void vanish();
  // Mounts the image again after vanish(), as a stick plugged in again; false where it
  // cannot.
  bool remount();
  const std::string& skipReason() const { return skipReason_; }
  // `path` as this volume lists it: the normalizing one composes "e" and U+0301 (the only
  // decomposed letter the tests give it) into "é"; the others keep names as given.
  std::string listed(std::string path) const;
  // Where the driver writes the volume: the loop device, else the image file.
  const std::string& store() const { return loopDevice_.empty() ? image_ : loopDevice_; }

 private:
  bool lying() const {
    return kind_ == Kind::kLying || kind_ == Kind::kLyingUncached || kind_ == Kind::kNormalizing;
  }
  std::string backing() const { return image_.substr(0, image_.rfind('/')) + "/backing"; }
  bool format();
  bool attach();

  Kind kind_;
  std::string image_;
  std::string mountPoint_;
  std::string loopDevice_;
  std::string skipReason_;
  bool mounted_ = false;
  bool vanished_ = false;
};

// Runs `command` through the shell; its exit status, and its standard output in `output`.
int runShell(const std::string& command, std::string* output = nullptr);

}  // namespace qm::posix::testing
