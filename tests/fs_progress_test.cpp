// The copy's progress counters end at the true totals of files and bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "copy/progress.h"
#include "fs_test_util.h"
#include "os/copy_folder.h"

namespace qm::fs {
namespace {

using testing::TempDir;
using testing::writeFile;

struct Totals {
  std::uint64_t files;
  std::uint64_t bytes;
};

// Empty files, a sparse file, ordinary files in nested folders, and entries that are not
// files (a link, a FIFO, an empty folder), which do not count.
Totals makeTree(const std::string& root) {
  ::mkdir(root.c_str(), 0755);
  ::mkdir((root + "/a").c_str(), 0755);
  ::mkdir((root + "/a/b").c_str(), 0755);
  ::mkdir((root + "/empty").c_str(), 0755);
  Totals totals{0, 0};
  for (const char* name : {"/zero1", "/a/zero2", "/a/b/zero3"}) {
    writeFile(root + name, "");
    ++totals.files;
  }
  for (int i = 0; i < 70; ++i) {  // more than one batch in one folder
    const std::string contents(static_cast<size_t>(i) * 37, 'x');
    writeFile(root + "/a/f" + std::to_string(i), contents);
    ++totals.files;
    totals.bytes += contents.size();
  }
  const off_t sparseSize = off_t{3} << 30;
  const int fd = ::open((root + "/a/b/sparse.img").c_str(), O_WRONLY | O_CREAT, 0644);
  EXPECT_EQ(::pwrite(fd, "data", 4, off_t{1} << 30), 4);
  EXPECT_EQ(::ftruncate(fd, sparseSize), 0);
  ::close(fd);
  ++totals.files;
  totals.bytes += static_cast<std::uint64_t>(sparseSize);
  ::symlink("zero1", (root + "/link").c_str());
  ::mkfifo((root + "/a/pipe").c_str(), 0644);
  return totals;
}

void expectTotals(const CopyProgress& progress, const Totals& totals, const char* run) {
  EXPECT_TRUE(progress.walkDone) << run;
  EXPECT_EQ(progress.filesFound, totals.files) << run;
  EXPECT_EQ(progress.filesDone, totals.files) << run;
  EXPECT_EQ(progress.bytesFound, totals.bytes) << run;
  EXPECT_EQ(progress.bytesDone, totals.bytes) << run;
}

TEST(Progress, EndsAtTheTrueTotalsForCopiedSkippedAndMixedRuns) {
  TempDir tmp;
  const Totals totals = makeTree(tmp / "src");
  for (const unsigned workers : {1u, 4u}) {
    const std::string destination = tmp / ("dst" + std::to_string(workers));
    CopyProgress progress;
    CopyOptions options;
    options.workers = workers;
    options.progress = &progress;
    copyFolder(tmp / "src", destination, options);
    expectTotals(progress, totals, "fresh");
    progress.reset();
    copyFolder(tmp / "src", destination, options);  // every file left as it is
    expectTotals(progress, totals, "unchanged");
    writeFile(tmp / "src/a/f3", "changed and longer than before");
    progress.reset();
    copyFolder(tmp / "src", destination, options);
    expectTotals(progress, {totals.files, totals.bytes - 3 * 37 + 30}, "mixed");
    writeFile(tmp / "src/a/f3", std::string(3 * 37, 'x'));
  }
}

}  // namespace
}  // namespace qm::fs
