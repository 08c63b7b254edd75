// Temporary folders and tree snapshots for the file-system tests.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "copy/options.h"
#include "copy/progress.h"

namespace qm::posix::testing {

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

// Names and file contents below `root`: what a volume without modes and owners keeps.
std::map<std::string, std::string> contentsBelow(const std::string& root);

// The entries below `root` as far as they can be listed: a copy may be changing them
// meanwhile, and an entry gone between the listing and the step into it ends the listing.
std::vector<std::string> entriesBelow(const std::string& root);

// Paths below `root` whose name marks them as the copy's temporary files.
int countTemporaryFiles(const std::string& root);

// The options the copy suites run with: the defaults, with the data method the variable
// QM_TEST_DATA_METHOD names ("ring", "clone", "kernel", "buffered"; the default where unset),
// so that one suite checks every method.
CopyOptions testOptions();

// The number a copy with `options` fails with, 0 where it succeeds; the progress the
// options name is reset first.
int copyNumber(const std::string& source, const std::string& destination,
               const CopyOptions& options);

// The number a copy fails with (0 for none), with its report in `progress`.
int copyNumber(const std::string& source, const std::string& destination, CopyProgress& progress);

// Makes `files` below `root`: a name ending in "/" is a folder, one with a size instead
// of contents is a sparse file of that size.
struct Made {
  std::string name;
  std::string contents = {};
  std::uint64_t size = 0;
};
void make(const std::string& root, const std::vector<Made>& files);

// Runs `work` in a child process as user `uid` and group `gid` (when `uid` is not -1) and
// returns the error number of the RuntimeError it throws, 0 when it returns, -1 when the
// child ends otherwise. `work` must not need this process's threads.
int numberInChild(const std::function<void()>& work, uid_t uid = static_cast<uid_t>(-1),
                  gid_t gid = static_cast<gid_t>(-1));

// The bytes of a system.posix_acl_* attribute: the owner's, group's and others' bits, and
// named users with their bits (a mask entry is added when there are any).
struct AclEntry {
  uid_t user;
  unsigned bits;
};
std::string aclValue(unsigned owner, unsigned group, unsigned other,
                     const std::vector<AclEntry>& users = {});
// The value of the extended attribute `name` of `path`, or "<none>".
std::string attribute(const std::string& path, const std::string& name);

}  // namespace qm::posix::testing
