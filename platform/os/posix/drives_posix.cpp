// Drive roots from the home folder and the mounts table; folder listing with opendir.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "os/roots.h"
#include "errors.h"

namespace qm {

namespace {

// The mounts table writes space, tab, newline and backslash as three octal digits.
std::string unescapeMountField(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        std::all_of(field.begin() + i + 1, field.begin() + i + 4,
                    [](char c) { return c >= '0' && c <= '7'; })) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool isVolumeFolder(std::string_view mountPoint) {
  for (std::string_view base : {"/media", "/mnt", "/run/media"})
    if (mountPoint != base && isInside(mountPoint, base)) return true;
  return false;
}

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

bool isFolder(const std::string& parent, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
  struct stat st {};
  std::string full = parent;
  if (full.empty() || full.back() != '/') full += '/';
  full += entry.d_name;
  return ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool isInside(std::string_view folder, std::string_view base) {
  if (base == "/") return !folder.empty() && folder.front() == '/';
  if (!folder.starts_with(base)) return false;
  return folder.size() == base.size() || folder[base.size()] == '/';
}

std::vector<std::string> volumeMountPoints(std::string_view mountsText) {
  std::vector<std::string> points;
  std::istringstream lines{std::string(mountsText)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint)) continue;
    std::string point = unescapeMountField(mountPoint);
    if (isVolumeFolder(point) && std::find(points.begin(), points.end(), point) == points.end())
      points.push_back(std::move(point));
  }
  return points;
}

std::vector<Root> driveRoots(std::string_view home, const std::vector<std::string>& volumes) {
  std::vector<Root> roots{{"C:", "/", "C:  /"}};
  const std::string homePath = normalFolder(home, "/");
  roots.push_back({"A:", homePath, "A:  " + homePath});
  for (const std::string& v : volumes)
    if (v != "/" && v != homePath) roots.push_back({v, v, v});
  return roots;
}

std::vector<Root> systemDriveRoots() {
  std::ifstream in("/proc/self/mounts");
  std::stringstream text;
  text << in.rdbuf();
  return driveRoots(homeFolder(), volumeMountPoints(text.str()));
}

const Root* findRoot(const std::vector<Root>& roots, std::string_view spec) {
  for (const Root& r : roots) {
    if (r.spec == spec) return &r;
    const bool letter = r.spec.size() == 2 && r.spec[1] == ':' && spec.size() == 2;
    if (letter && spec[1] == ':' && std::toupper(static_cast<unsigned char>(spec[0])) == r.spec[0])
      return &r;
  }
  return nullptr;
}

const Root* rootOf(const std::vector<Root>& roots, std::string_view folder) {
  const Root* best = nullptr;
  for (const Root& r : roots)
    if (isInside(folder, r.path) && (!best || r.path.size() > best->path.size())) best = &r;
  return best;
}

std::string rootCurrentFolder(const std::vector<Root>& roots, const Root& root,
                              std::string_view cwd) {
  const Root* holder = rootOf(roots, cwd);
  return holder && holder->path == root.path ? std::string(cwd) : root.path;
}

std::string normalFolder(std::string_view path, std::string_view cwd) {
  std::filesystem::path p{std::string(path)};
  if (p.is_relative()) p = std::filesystem::path(std::string(cwd)) / p;
  std::string out = p.lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::vector<std::string> folderChain(std::string_view top, std::string_view folder) {
  std::vector<std::string> chain{std::string(folder)};
  std::string current(folder);
  while (current != top && current.size() > top.size()) {
    const std::size_t slash = current.rfind('/');
    current = slash == 0 ? "/" : current.substr(0, slash);
    chain.push_back(current);
  }
  std::reverse(chain.begin(), chain.end());
  return chain;
}

std::vector<std::string> listSubfolders(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    const int code = errno;
    const bool missing = code == ENOENT || code == ENOTDIR;
    throw RuntimeError(missing ? err::kPathNotFound : err::kDeviceUnavailable, folder);
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;  // ".", ".." and hidden folders
    if (isFolder(folder, *entry)) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string currentFolder() {
  std::error_code ec;
  const auto p = std::filesystem::current_path(ec);
  return ec ? std::string("/") : p.string();
}

}  // namespace qm
