// Roots that stand for drives on a system without drive letters, and folder listing (its
// roots and folders are the POSIX system's; Windows names its drives by letter instead).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One root of the drive list. "C:" is the file-system root, "A:" the home folder;
// any other mounted volume is named by its mount path.
struct Root {
  std::string spec;   // what the drive list reads and sets
  std::string path;   // the folder the root stands for
  std::string label;  // what the drive list shows
};

// Mount points of removable media and other disks in a mounts table (the format of
// /proc/self/mounts): those under /media, /mnt and /run/media, in table order.
std::vector<std::string> volumeMountPoints(std::string_view mountsText);

// The roots in list order: "/" (C:), the home folder (A:), then the volumes.
std::vector<Root> driveRoots(std::string_view home, const std::vector<std::string>& volumes);

// The roots of this system, from $HOME and /proc/self/mounts.
std::vector<Root> systemDriveRoots();

// The root with that spec ("c:" matches "C:"), or nullptr.
const Root* findRoot(const std::vector<Root>& roots, std::string_view spec);

// The deepest root that holds the absolute folder, or nullptr.
const Root* rootOf(const std::vector<Root>& roots, std::string_view folder);

// A root's current folder: `cwd` when `root` is the deepest root holding it, else the
// root's own folder.
std::string rootCurrentFolder(const std::vector<Root>& roots, const Root& root,
                              std::string_view cwd);

// True when `folder` is `base` or lies below it (both absolute and normalised).
bool isInside(std::string_view folder, std::string_view base);

// An absolute folder path without "." and ".." parts or a trailing slash; relative
// paths are taken from `cwd`.
std::string normalFolder(std::string_view path, std::string_view cwd);

// The folders from `top` down to `folder`, both included (folder must lie in top).
std::vector<std::string> folderChain(std::string_view top, std::string_view folder);

// The names of the visible subfolders of a folder, sorted. A folder that cannot be
// listed throws RuntimeError 76 when it does not exist, else 68, naming the folder.
std::vector<std::string> listSubfolders(const std::string& folder);

// The process's current folder.
std::string currentFolder();

}  // namespace qm
