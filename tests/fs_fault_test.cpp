// Injected system-call failures: metadata the volume refuses never fails a copy, data
// calls keep their error numbers, and a kernel copy that makes no progress is not taken
// for the end of the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <string>

#include "errors.h"
#include "fs_faults.h"
#include "fs_test_util.h"
#include "copy/copy_folder.h"
#include "copy/posix/ring.h"

namespace qm::posix {
namespace {

using testing::Call;
using testing::Fault;
using testing::readFile;
using testing::snapshot;
using testing::TempDir;
using testing::writeFile;

int copyNumber(const std::string& source, const std::string& destination) {
  CopyOptions options;
  options.data = DataMethod::Kernel;  // so that file data goes through the calls under test
  try {
    copy::copyFolderOrThrow(source, destination, options);
  } catch (const RuntimeError& e) {
    return e.number;
  }
  return 0;
}

// Files (one with an attribute, one owned by someone else when run as root), a link, a
// FIFO and folders: every kind of metadata call the copy makes.
void makeTree(const std::string& root) {
  ::mkdir(root.c_str(), 0755);
  ::mkdir((root + "/sub").c_str(), 0750);
  writeFile(root + "/a.txt", "alpha", 0640);
  writeFile(root + "/sub/b.bin", std::string(300000, 'b'), 0600);
  ::setxattr((root + "/a.txt").c_str(), "user.tag", "t", 1, 0);
  ::symlink("a.txt", (root + "/link").c_str());
  ::mkfifo((root + "/sub/pipe").c_str(), 0644);
  if (::geteuid() == 0) ::chown((root + "/sub/b.bin").c_str(), 1234, 1234);
}

// The contents of every file below `root`: names and bytes, no metadata.
std::map<std::string, std::string> contents(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& [name, line] : snapshot(root)) {
    const size_t file = line.find(" file ");
    files[name] = file == std::string::npos ? line.substr(line.rfind(' ') + 1) : line.substr(file);
  }
  return files;
}

// Whether this kernel and build give the copy an io_uring.
bool ringOffered() {
  int error = 0;
  return DataRing::open(error) != nullptr;
}

// How data moves is the options' choice, and each method keeps every byte and a sparse
// file's holes: the kernel's copy never goes through the copy's own buffer, the buffered
// one never through the kernel's copy; a clone, where the volume has one, needs neither;
// the ring takes the small file without either, and leaves the others to the kernel.
TEST(DataMethods, EachMethodMovesTheBytesByItsOwnCallsAndKeepsHoles) {
  const bool ring = ringOffered();
  const struct {
    DataMethod method;
    int ranges;    // copy_file_range calls, one a file; -1: not asserted (a clone needs none)
    bool buffers;  // pwrite is called
  } cases[] = {
      {DataMethod::Auto, -1, false},           {DataMethod::Clone, -1, false},
      {DataMethod::Kernel, 3, false},          {DataMethod::Buffered, 0, true},
      {DataMethod::Ring, ring ? 2 : 3, false},
  };
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/plain", std::string(1 << 20, 'p'));
  writeFile(tmp / "src/small", std::string(5000, 's'));
  const int fd = ::open((tmp / "src/sparse").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::pwrite(fd, "tail", 4, off_t{8} << 20), 4);
  ::close(fd);
  for (const auto& c : cases) {
    std::atomic<int> ranges{0}, writes{0};
    const testing::BeforeCall onRange(Call::kCopyFileRange, [&] { ++ranges; });
    const testing::BeforeCall onWrite(Call::kPwrite, [&] { ++writes; });
    CopyOptions options;
    options.data = c.method;
    const std::string destination = tmp / ("dst" + std::to_string(static_cast<int>(c.method)));
    copy::copyFolderOrThrow(tmp / "src", destination, options);
    const int method = static_cast<int>(c.method);
    EXPECT_EQ(snapshot(destination), snapshot(tmp / "src")) << method;
    EXPECT_LT(testing::statOf(destination + "/sparse").st_blocks * 512, 1 << 20) << method;
    if (c.ranges >= 0) {
      EXPECT_EQ(ranges.load(), c.ranges) << method;
    }
    EXPECT_EQ(writes.load() > 0, c.buffers) << method;
  }
}

// Where the kernel has no io_uring, a sandbox refuses it, or a submission fails, the ring
// method copies by the kernel's copy instead, every byte and time kept.
TEST(DataMethods, ARingRefusedOrFailingLeavesTheFilesToTheKernelsCopy) {
  constexpr int kNoFilter = 200, kWrongWay = 201;
  const struct {
    int setup;   // errno that io_uring_setup fails with; 0 where it is left alone
    int submit;  // errno that submitting to the ring fails with; 0 where it is left alone
    bool byKernel;
  } cases[] = {
      {0, 0, false},     {ENOSYS, 0, true}, {EPERM, 0, true},
      {EINVAL, 0, true}, {0, EAGAIN, true}, {0, EBUSY, true},
  };
  if (!ringOffered()) GTEST_SKIP() << "no io_uring here: every copy goes the kernel's way";
  TempDir tmp;
  testing::make(tmp / "src",
                {{"a", "alpha"}, {"empty"}, {"sub/"}, {"sub/b", std::string(70000, 'b')}});
  int run = 0;
  for (const auto& c : cases) {
    const std::string destination = tmp / ("dst" + std::to_string(run++));
    const int number = testing::numberInChild([&] {
      if (c.setup != 0 && !testing::refuseRingSetup(c.setup)) throw RuntimeError(kNoFilter);
      std::optional<Fault> submit;
      if (c.submit != 0) submit.emplace(Call::kRingSubmit, c.submit);
      testing::resetCalls();
      CopyOptions options;
      options.data = DataMethod::Ring;
      copy::copyFolderOrThrow(tmp / "src", destination, options);
      if ((testing::calls(Call::kCopyFileRange) == 2) != c.byKernel) throw RuntimeError(kWrongWay);
    });
    EXPECT_EQ(number, 0) << c.setup << " " << c.submit;
    EXPECT_EQ(snapshot(destination), snapshot(tmp / "src")) << c.setup << " " << c.submit;
  }
}

TEST(MetadataRefusals, NeverFailTheCopy) {
  // Regression: a permission-bit call failing with EPERM (kernel FAT drivers) stopped the
  // run with 70 after one file, with ENOSYS (FUSE drivers) with 75.
  TempDir tmp;
  makeTree(tmp / "src");
  const Call calls[] = {Call::kFchmod, Call::kFchmodat, Call::kFutimens,  Call::kUtimensat,
                        Call::kFchown, Call::kFchownat, Call::kFsetxattr, Call::kFremovexattr};
  const int errors[] = {EPERM, ENOSYS, EOPNOTSUPP, EINVAL, EACCES, ENOTTY};
  int run = 0;
  for (const Call call : calls) {
    for (const int error : errors) {
      const std::string destination = tmp / ("dst" + std::to_string(run++));
      {
        Fault fault(call, error);
        EXPECT_EQ(copyNumber(tmp / "src", destination), 0)
            << "call " << static_cast<int>(call) << " errno " << error;
      }
      EXPECT_EQ(contents(destination), contents(tmp / "src"));
    }
  }
}

TEST(MetadataRefusals, FolderMetadataRefusedOnAnExistingFolderDoesNotFailTheCopy) {
  // Regression: setting an existing destination folder's mode failed and a complete copy
  // ended with 70.
  TempDir tmp;
  makeTree(tmp / "src");
  ::mkdir((tmp / "dst").c_str(), 0755);
  ::mkdir((tmp / "dst/sub").c_str(), 0755);
  {
    Fault fault(Call::kFchmod, EPERM);
    Fault times(Call::kFutimens, EPERM);
    Fault owner(Call::kFchown, EPERM);
    EXPECT_EQ(copyNumber(tmp / "src", tmp / "dst"), 0);
  }
  EXPECT_EQ(contents(tmp / "dst"), contents(tmp / "src"));
}

TEST(MetadataFaults, DeviceErrorsStillStopTheCopy) {
  TempDir tmp;
  makeTree(tmp / "src");
  const struct {
    Call call;
    int error;
    int number;
  } cases[] = {
      {Call::kFchmod, EIO, err::kDeviceIo},
      {Call::kFutimens, EIO, err::kDeviceIo},
      {Call::kFsetxattr, ENOMEDIUM, err::kDeviceIo},
      {Call::kFutimens, ENOTCONN, err::kDeviceIo},
  };
  int run = 0;
  for (const auto& c : cases) {
    Fault fault(c.call, c.error);
    EXPECT_EQ(copyNumber(tmp / "src", tmp / ("dst" + std::to_string(run++))), c.number) << c.error;
  }
}

TEST(DataFaults, KeepTheirNumbers) {
  TempDir tmp;
  makeTree(tmp / "src");
  ::mkdir((tmp / "old").c_str(), 0755);
  writeFile(tmp / "old/a.txt", "older");  // replaced through a temporary file and a rename
  const struct {
    Call call;
    int error;
    int number;
  } cases[] = {
      {Call::kPwrite, EIO, err::kDeviceIo},
      {Call::kPwrite, ENOSPC, err::kDiskFull},
      {Call::kPwrite, EDQUOT, err::kDiskFull},
      {Call::kPwrite, EROFS, err::kPermissionDenied},
      {Call::kRenameat2, EACCES, err::kPermissionDenied},
      {Call::kRenameat2, EIO, err::kDeviceIo},
      {Call::kRenameat2, EBUSY, err::kPathFileAccess},
  };
  // Without copy_file_range every byte goes through pwrite.
  Fault noKernelCopy(Call::kCopyFileRange, ENOSYS);
  int run = 0;
  for (const auto& c : cases) {
    const std::string destination = tmp / ("dst" + std::to_string(run++));
    if (c.call == Call::kRenameat2) {
      ::mkdir(destination.c_str(), 0755);
      writeFile(destination + "/a.txt", "older");
    }
    Fault fault(c.call, c.error);
    EXPECT_EQ(copyNumber(tmp / "src", destination), c.number) << c.error;
    EXPECT_EQ(testing::countTemporaryFiles(destination), 0);
  }
}

TEST(KernelCopy, ThatReturnsZeroEarlyFallsBackToReadingAndWriting) {
  // Regression: copy_file_range answering 0 was taken as the end of the file, and a 100 kB
  // file was copied as 0 bytes with success.
  TempDir tmp;
  ::mkdir((tmp / "src").c_str(), 0755);
  writeFile(tmp / "src/100k", std::string(100000, 'k'));
  std::string large(5 << 20, 'L');
  large[123456] = 'x';
  writeFile(tmp / "src/large", large);
  const int fd = ::open((tmp / "src/sparse").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::pwrite(fd, "hole after", 10, 1 << 20), 10);
  ASSERT_EQ(::ftruncate(fd, 8 << 20), 0);
  ::close(fd);
  for (const int workers : {1, 3}) {
    const std::string destination = tmp / ("dst" + std::to_string(workers));
    Fault fault(Call::kCopyFileRange, 0, 0);
    CopyOptions options;
    options.workers = static_cast<unsigned>(workers);
    ASSERT_NO_THROW(copy::copyFolderOrThrow(tmp / "src", destination, options));
    EXPECT_EQ(snapshot(destination), snapshot(tmp / "src"));
  }
}

}  // namespace
}  // namespace qm::posix
