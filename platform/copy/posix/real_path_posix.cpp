// Resolves the physical path of a folder whose last components may not exist yet.
#include "real_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace qm::posix {

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

std::optional<std::pair<dev_t, ino_t>> fileIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::pair{st.st_dev, st.st_ino};
}

std::optional<std::string> parentPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (path.size() <= 1 || slash == std::string::npos) return std::nullopt;
  return path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace qm::posix
