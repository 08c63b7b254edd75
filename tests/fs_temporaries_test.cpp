// Temporary files of the copy: names that never collide, and the removal of those that
// ended runs left in the folders a copy writes into.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "errors.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"

namespace qm::posix {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

std::string startTimeOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22; ++i) fields >> field;
  return field;
}

std::string pidNamespace() {
  const std::string link = std::filesystem::read_symlink("/proc/self/ns/pid").string();
  return link.substr(link.find('[') + 1, link.find(']') - link.find('[') - 1);
}

// The number of a process that has ended.
pid_t endedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(Temporaries, ThoseOfEndedRunsAreRemovedFromTheFoldersCopiedInto) {
  // Regression: the temporary files of a killed run stayed for ever.
  if (::access("/proc/self/stat", R_OK) != 0) GTEST_SKIP() << "needs /proc";
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "src/sub").c_str(), 0755);
  writeFile(tmp / "src/sub/f", "new");
  ::mkdir((tmp / "dst").c_str(), 0755);
  ::mkdir((tmp / "dst/sub").c_str(), 0755);
  const std::string ns = pidNamespace();
  const std::string ended = std::to_string(endedProcess());
  const std::string self = std::to_string(::getpid());
  const std::string stale[] = {
      ".qm-" + ended + "-7.tmp",  // the form of earlier versions
      ".qm-" + ns + "-" + ended + "-12345-3.tmp",
      "sub/.qm-" + ns + "-" + ended + "-1-1.tmp",
      // The number now belongs to a process that started at another time.
      "sub/.qm-" + ns + "-" + self + "-1-2.tmp",
  };
  const std::string kept[] = {
      ".qm-" + ns + "-1-" + startTimeOf(1) + "-5.tmp",                           // a live process
      ".qm-" + ns + "-" + self + "-" + startTimeOf(::getpid()) + "-999999.tmp",  // this one
      ".qm-1" + ns + "-" + ended + "-1-1.tmp",  // another pid namespace: cannot tell
      ".qm-" + self + "-3.tmp",                 // earlier form, process alive
      ".qm-notours.tmp",
      "other.tmp",
      "sub/.qm-x-1-2-3.tmp",
  };
  for (const std::string& name : stale) writeFile(tmp / "dst/" + name, "stale");
  for (const std::string& name : kept) writeFile(tmp / "dst/" + name, "kept");
  // The source folders get the destination folders' times, as if both had changed in one
  // clock tick: a folder with its source's time may still hold temporaries.
  for (const char* folder : {"", "/sub"}) {
    const struct stat destination = testing::statOf(tmp / "dst" + folder);
    const struct timespec times[2] = {destination.st_mtim, destination.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / "src" + folder).c_str(), times, 0), 0);
  }
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions()));
  for (const std::string& name : stale)
    EXPECT_FALSE(std::filesystem::exists(tmp / "dst/" + name)) << name;
  for (const std::string& name : kept) EXPECT_EQ(readFile(tmp / "dst/" + name), "kept") << name;
  EXPECT_EQ(readFile(tmp / "dst/sub/f"), "new");
}

TEST(Temporaries, NamesThatStaleFilesHoldAreNotChosen) {
  // Regression: a stale temporary under the name a new run chose ended the run with 58,
  // naming an unrelated file.
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  ::mkdir((tmp / "dst").c_str(), 0755);
  for (int i = 0; i < 10; ++i) {
    writeFile(tmp / "src/f" + std::to_string(i), "new " + std::to_string(i));
    writeFile(tmp / "dst/f" + std::to_string(i), "old");
  }
  // This process is alive, so its names stay; earlier versions would have chosen them.
  const std::string self = std::to_string(::getpid());
  for (int n = 1; n <= 300; ++n)
    writeFile(tmp / "dst/.qm-" + self + "-" + std::to_string(n) + ".tmp", "");
  ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", tmp / "dst", testing::testOptions()));
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(readFile(tmp / "dst/f" + std::to_string(i)), "new " + std::to_string(i));
}

}  // namespace
}  // namespace qm::posix
