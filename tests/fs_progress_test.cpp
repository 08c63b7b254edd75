// The copy's progress counters end at the true totals of files and bytes, and its result
// counts what became of them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "copy/progress.h"
#include "copy/result.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"

namespace qm::posix {
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

// A socket: something no copy can hold, left out and listed on every run.
void makeSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
  ::close(fd);
}

// The progress ends at the true totals, and the result counts what became of every file.
TEST(Progress, EndsAtTheTrueTotalsAndTheResultCountsCopiedUnchangedAndLeftOutFiles) {
  TempDir tmp;
  const Totals totals = makeTree(tmp / "src");
  makeSocket(tmp / "src/a/socket");
  const std::string changed = "changed and longer than before";
  const struct {
    const char* run;
    const char* f3;  // what src/a/f3 holds before the run; null: as it is
    std::uint64_t bytes, written;
  } runs[] = {
      {"fresh", nullptr, totals.bytes, totals.files},
      {"unchanged", nullptr, totals.bytes, 0},
      {"mixed", changed.c_str(), totals.bytes - 3 * 37 + changed.size(), 1},
  };
  for (const unsigned workers : {1u, 4u}) {
    const std::string destination = tmp / ("dst" + std::to_string(workers));
    writeFile(tmp / "src/a/f3", std::string(3 * 37, 'x'));
    for (const auto& r : runs) {
      if (r.f3) writeFile(tmp / "src/a/f3", r.f3);
      CopyProgress progress;
      CopyOptions options = testing::testOptions();
      options.workers = workers;
      const copy::CopyResult result =
          copy::copyFolder(tmp / "src", destination, options, &progress);
      EXPECT_TRUE(result.complete()) << r.run << ": " << result.number << " " << result.path;
      expectTotals(progress, {totals.files, r.bytes}, r.run);
      const copy::CopyCounts expected{
          totals.files, r.bytes, r.written, totals.files - r.written, 1, 0, 0};
      EXPECT_EQ(result.counts, expected) << r.run << " with " << workers << " workers";
      ASSERT_EQ(result.leftOut.size(), 1u) << r.run;
      EXPECT_EQ(result.leftOut[0].file, "a/socket") << r.run;
    }
  }
}

// A copy that fails returns its error with the file it names, and what it counted so far.
TEST(Progress, AFailedCopyReturnsItsErrorAndTheFileItNames) {
  TempDir tmp;
  makeTree(tmp / "src");
  writeFile(tmp / "file", "F");
  const copy::CopyResult result = copy::copyFolder(tmp / "src", tmp / "file/x");
  EXPECT_FALSE(result.complete());
  EXPECT_EQ(result.number, err::kFileExists);
  EXPECT_EQ(result.path, tmp / "file");
  EXPECT_EQ(result.counts.written, 0u);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].file, tmp / "file");
}

}  // namespace
}  // namespace qm::posix
