// Tests of saving a small file on POSIX: links, modes, folders that take no new file,
// leftovers of killed saves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "errors.h"
#include "folder_lock.h"
#include "os/run.h"
#include "os/textfile.h"
#include "temp_folder.h"
#include "tempname.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

class SaveFile : public ::testing::Test {
 protected:
  std::set<std::string> names(const std::string& folder) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder)) out.insert(entry.path().filename());
    return out;
  }
  mode_t modeOf(const std::string& path) {
    struct stat st;
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
  }
  testing::TempFolder dir;
};

// Guards against a save turning a symbolic link into a plain file while the link's
// target keeps the old job.
TEST_F(SaveFile, ALinkKeepsPointingAtItsReplacedTarget) {
  fs::create_directories(dir / "config");
  fs::create_directories(dir / "real");
  struct Case {
    const char* what;
    std::string linkTo;  // what Copy.Copy points at
    std::string target;  // the file that ends up holding the bytes
  };
  const Case cases[] = {
      {"absolute link", dir / "real/job", dir / "real/job"},
      {"relative link", "../real/job", dir / "real/job"},
      {"link to a link", dir / "real/hop", dir / "real/job"},
      {"link to a file not made yet", "../real/new", dir / "real/new"},
  };
  fs::create_symlink("job", dir / "real/hop");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string link = dir / "config/Copy.Copy";
    fs::remove(link);
    writeBytes(dir / "real/job", "old job");
    fs::create_symlink(c.linkTo, link);
    replaceFileAtomically(link, "new job");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), c.linkTo);
    EXPECT_EQ(readBytes(c.target), "new job");
    EXPECT_EQ(names(dir / "config"), std::set<std::string>{"Copy.Copy"});
  }
  EXPECT_EQ(names(dir / "real"), (std::set<std::string>{"hop", "job", "new"}));
}

// Guards against a save resetting the mode the user gave the file.
TEST_F(SaveFile, TheFilesModeIsKept) {
  const std::string file = dir / "Copy.Copy";
  for (mode_t mode : {0600, 0640, 0604, 0755}) {
    writeBytes(file, "old");
    ::chmod(file.c_str(), mode);
    replaceFileAtomically(file, "new");
    EXPECT_EQ(modeOf(file), mode);
    EXPECT_EQ(readBytes(file), "new");
  }
  const mode_t mask = ::umask(022);
  replaceFileAtomically(dir / "fresh", "x");
  EXPECT_EQ(modeOf(dir / "fresh"), 0644u);
  ::umask(mask);
}

// Guards against a failed save where the folder takes no new file but the file itself
// is writable: a plain write succeeds there.
TEST_F(SaveFile, AFolderThatTakesNoNewFileGetsTheFileWrittenInPlace) {
  const std::string folder = dir / "locked";
  fs::create_directory(folder);
  writeBytes(folder + "/Copy.Copy", "an older and longer job");
  struct stat before;
  ::stat((folder + "/Copy.Copy").c_str(), &before);
  {
    testing::FolderLock lock(folder);
    if (!lock.locked()) GTEST_SKIP() << "this file system cannot lock a folder";
    replaceFileAtomically(folder + "/Copy.Copy", "new job");
    try {
      replaceFileAtomically(folder + "/other", "x");
      ADD_FAILURE() << "a new file was made in a locked folder";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kPermissionDenied);
      EXPECT_EQ(e.path, folder + "/other");
    }
  }
  EXPECT_EQ(readBytes(folder + "/Copy.Copy"), "new job");
  struct stat after;
  ::stat((folder + "/Copy.Copy").c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(names(folder), std::set<std::string>{"Copy.Copy"});
}

// Guards against the temporary files of killed saves piling up beside the file.
TEST_F(SaveFile, LeftoversOfKilledSavesAreRemoved) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const TemporaryOwner self = os::thisRun();
  const TemporaryOwner dead{self.space, static_cast<std::uint64_t>(child), 0};
  const std::string deadPid = std::to_string(child);
  const std::string aliveTemp = temporaryNameBeside("Copy.Copy", self, 8);
  const std::string agedAliveTemp = temporaryNameBeside("Copy.Copy", self, 9);
  const std::set<std::string> kept = {"Copy.Copy",
                                      aliveTemp,
                                      "Copy.Copy.tmp123456",
                                      "Copy.Copy.tmpx",
                                      "Copy.Copy.tmp" + deadPid + "-x",
                                      "Other" + temporaryName(dead, 1),
                                      "Other.tmp" + deadPid + "-1"};
  const std::set<std::string> removed = {temporaryNameBeside("Copy.Copy", dead, 7),
                                         "Copy.Copy.tmp" + deadPid + "-3", agedAliveTemp,
                                         "Copy.Copy.tmp654321"};
  for (const std::string& name : kept) writeBytes(dir / name, "x");
  for (const std::string& name : removed) writeBytes(dir / name, "x");
  for (const std::string& aged : {agedAliveTemp, std::string("Copy.Copy.tmp654321")})
    fs::last_write_time(dir / aged, fs::file_time_type::clock::now() - std::chrono::hours(2));
  replaceFileAtomically(dir / "Copy.Copy", "new");
  EXPECT_EQ(names(dir.path()), kept);
}

}  // namespace
}  // namespace qm
