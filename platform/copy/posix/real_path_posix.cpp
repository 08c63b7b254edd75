// Resolves the physical path of a folder whose last components may not exist yet.
#include "real_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace qm::fs {

namespace {

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return std::string(cwd ? cwd.get() : "/") + "/" + path;
}

std::string resolvedOrEmpty(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

void appendComponent(std::string& path, const std::string& part) {
  if (part == ".") return;
  if (part == "..") {
    const size_t slash = path.rfind('/');
    path.erase(slash == 0 ? 1 : slash);
    return;
  }
  if (path.back() != '/') path += '/';
  path += part;
}

}  // namespace

std::string plannedRealPath(const std::string& path) {
  const std::vector<std::string> parts = components(absolute(path));
  // Shorten the path until what is left exists; "/" always does.
  size_t existing = parts.size();
  std::string resolved;
  while (resolved.empty()) {
    std::string prefix;
    for (size_t i = 0; i < existing; ++i) prefix += "/" + parts[i];
    resolved = resolvedOrEmpty(prefix.empty() ? std::string(1, '/') : prefix);
    if (resolved.empty() && existing == 0) return std::string(1, '/');
    if (resolved.empty()) --existing;
  }
  for (size_t i = existing; i < parts.size(); ++i) appendComponent(resolved, parts[i]);
  return resolved;
}

bool isSameOrInside(const std::string& inner, const std::string& outer) {
  if (outer == "/") return true;
  if (!inner.starts_with(outer)) return false;
  return inner.size() == outer.size() || inner[outer.size()] == '/';
}

bool hasAncestor(const std::string& path, dev_t device, ino_t inode) {
  std::string folder = path;
  for (;;) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode) return true;
    if (folder.size() <= 1) return false;
    const size_t slash = folder.rfind('/');
    folder.erase(slash == 0 ? 1 : slash);
  }
}

}  // namespace qm::fs
