// Temporary folders and tree snapshots for the file-system tests.
#pragma once

#include <sys/stat.h>

#include <map>
#include <string>

namespace qm::fs::testing {

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, const std::string& contents, mode_t mode = 0644);
std::string readFile(const std::string& path);
// Sets the access and modification time of `path` (not following links).
void setTime(const std::string& path, time_t seconds, long nanoseconds);
struct stat statOf(const std::string& path);

// One line per entry below `root` (relative path -> type, permission bits, modification
// time in nanoseconds, size, link target or file contents). Folders' sizes are left out.
std::map<std::string, std::string> snapshot(const std::string& root);

// Paths below `root` whose name marks them as the copy's temporary files.
int countTemporaryFiles(const std::string& root);

}  // namespace qm::fs::testing
