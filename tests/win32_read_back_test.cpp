// The Windows read-back onto a volume that hands back other bytes than it was given
// (tools/wine-fat-check with QM_WINE_VOLUME=lying names its drive in QM_FAT_DRIVE): the
// copy fails with 57 and names the files, and the next run copies them again.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "copy/progress.h"
#include "copy/report.h"
#include "copy/copy_folder.h"
#include "win32_fs_util.h"

namespace qm {
namespace {

using namespace qm::testing;

std::string pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 251);
  return bytes;
}

class Win32ReadBack : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("QM_FAT_DRIVE");
    if (drive == nullptr || *drive == '\0')
      GTEST_SKIP() << "no lying drive (run by tools/wine-fat-check)";
    root = freshRoot("qm-readback-");
    src = root + "\\Photos";
    dst = std::string(drive) + "\\backup-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(lp(src).c_str(), nullptr);
    CreateDirectoryW(lp(src + "\\sub").c_str(), nullptr);
    put(src + "\\ok.txt", pattern(100000, 1));
    put(src + "\\sub\\photo-flip.jpg", pattern(200000, 2));
    put(src + "\\movie-zero.bin", pattern(300000, 3));
  }
  void TearDown() override {
    if (root.empty()) return;
    removeTree(root);
    removeTree(dst);
  }
  // The copy's number, and the files its report names, in order of name.
  int copy(ReadBack readBack, std::vector<copy::Problem>& failures) {
    CopyOptions options;
    options.progress = &progress;
    options.readBack = readBack;
    progress.reset();
    const int number = errorOf([&] { copy::copyFolderOrThrow(src, dst, options); });
    failures = progress.report.failures();
    std::sort(failures.begin(), failures.end(),
              [](const copy::Problem& a, const copy::Problem& b) { return a.file < b.file; });
    return number;
  }
  std::string root, src, dst;
  CopyProgress progress;
};

// Regression: a copy onto a volume that gave back other bytes than it was given reported
// success, and so did the next run.
TEST_F(Win32ReadBack, WhatComesBackOtherThanWrittenFailsTheRunAndIsCopiedAgain) {
  const std::string lie = copy::readBackCause();
  const std::vector<copy::Problem> damaged{{"movie-zero.bin", lie}, {"sub\\photo-flip.jpg", lie}};
  std::vector<copy::Problem> failures;
  EXPECT_EQ(copy(ReadBack::ByMedium, failures), 57);
  EXPECT_EQ(failures, damaged);
  EXPECT_EQ(progress.filesChecked.load(), 3u);
  EXPECT_EQ(tree(dst).at("ok.txt"), pattern(100000, 1));
  EXPECT_EQ(tree(dst).at("movie-zero.bin"), "") << "the damaged copy still looks whole";
  // The next run writes the damaged files again, and the volume gives them back wrong again.
  EXPECT_EQ(copy(ReadBack::ByMedium, failures), 57);
  EXPECT_EQ(failures, damaged);
  EXPECT_EQ(progress.filesWritten.load(), 2u);
  // Without the read-back, the run has nothing to tell.
  EXPECT_EQ(copy(ReadBack::Never, failures), 0);
  EXPECT_EQ(progress.filesChecked.load(), 0u);
}

}  // namespace
}  // namespace qm
