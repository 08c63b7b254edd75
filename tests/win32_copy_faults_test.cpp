// The Windows copy against faults: sources that stop short, temporary names taken or left
// by killed runs, and destinations on drives that do not exist.
#include <algorithm>
#include <string>
#include <vector>

#include "ui/filesystem.h"
#include "copy/file_progress.h"
#include "copy/win32/file_copy.h"
#include "copy/win32/file_data.h"
#include "copy/win32/temporaries.h"
#include "os/win32/longpath.h"
#include "win32_fs_util.h"

namespace qm {
namespace {

using namespace qm::testing;

// A source that hands out `data` in reads of at most `step` bytes, answering 0 at the
// offsets in `zeroAt` once each, and reporting `size` as its size.
struct FakeSource {
  std::string data;
  std::size_t step;
  std::vector<std::size_t> zeroAt;
  std::uint64_t size;
  std::size_t at = 0;

  win32::DataSource source() {
    return {[this](char* buffer, std::size_t capacity) -> std::size_t {
              for (auto it = zeroAt.begin(); it != zeroAt.end(); ++it)
                if (*it == at) {
                  zeroAt.erase(it);
                  return 0;
                }
              const std::size_t n = std::min({capacity, step, data.size() - at});
              data.copy(buffer, n, at);
              at += n;
              return n;
            },
            [this] { return size; }};
  }
};

TEST(Win32DataCopy, AReadOfNothingEndsTheCopyOnlyAtTheSourcesSize) {
  // Regression: a read that returned 0 before the source's size was taken as its end, so
  // a short copy could be reported as a complete one.
  const std::string bytes(100, 'x');
  const struct {
    const char* label;
    FakeSource source;
    std::uint64_t copied;
    bool complete;
  } cases[] = {
      {"whole", {bytes, 30, {}, 100}, 100, true},
      {"empty", {"", 30, {}, 0}, 0, true},
      {"one spurious end", {bytes, 30, {60}, 100}, 100, true},
      {"ends at 0 of 100", {bytes, 30, {0, 0}, 100}, 0, false},
      {"ends at 60 of 100", {bytes, 30, {60, 60}, 100}, 60, false},
      {"shrank to 60 while copied", {bytes.substr(0, 60), 30, {}, 60}, 60, true},
      {"grew to 100 after it was listed", {bytes, 30, {}, 100}, 100, true},
  };
  for (auto c : cases) {
    std::string out;
    std::uint64_t counted = 0;
    char buffer[64];
    const win32::DataCopied got = win32::copyData(
        c.source.source(), [&](const char* b, std::size_t n) { out.append(b, n); }, buffer,
        sizeof buffer, [&](std::size_t n) { counted += n; });
    EXPECT_EQ(got.bytes, c.copied) << c.label;
    EXPECT_EQ(got.complete, c.complete) << c.label;
    EXPECT_EQ(out.size(), c.copied) << c.label;
    EXPECT_EQ(counted, c.copied) << c.label;
  }
}

class Win32CopyFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    root = freshRoot("qm-faults-");
    src = root + "\\元";
    dst = root + "\\先";
    CreateDirectoryW(lp(src).c_str(), nullptr);
    CreateDirectoryW(lp(dst).c_str(), nullptr);
    put(src + "\\a.txt", "A");
    put(src + "\\b.txt", "B");
  }
  void TearDown() override { removeTree(root); }
  void copy() { createDiskFileSystemObject()->CopyFolder(src, dst, true); }
  std::string root, src, dst;
};

// Regression: where the copy may not replace files, a file another program placed under a
// name after the copy looked was replaced all the same.
TEST_F(Win32CopyFaults, AFileThatAppearedMeanwhileIsReplacedOnlyWhereTheCopyMayReplace) {
  const struct {
    bool mayReplace;
    int number;
    const char* left;  // what the destination holds after
  } cases[] = {{false, err::kFileExists, "theirs"}, {true, 0, "A"}};
  for (const auto& c : cases) {
    put(dst + "\\a.txt", "theirs");
    win32::Handle h = win32::openFollowing(lp(src + "\\a.txt"));
    win32::FileId id;
    win32::Entry entry;
    ASSERT_TRUE(win32::describe(h.get(), id, entry));
    entry.name = L"a.txt";
    win32::FileCopier copier;
    copy::FileProgress progress(nullptr, entry.size);
    const int number = errorOf([&] {
      win32::writeFile(copier, lp(src + "\\a.txt"), lp(dst), lp(dst + "\\a.txt"), entry, nullptr,
                       c.mayReplace, progress);
    });
    EXPECT_EQ(number, c.number) << c.mayReplace;
    EXPECT_EQ(tree(dst), (std::map<std::string, std::string>{{"a.txt", c.left}})) << c.mayReplace;
  }
}

TEST_F(Win32CopyFaults, TemporaryNamesThatAreTakenArePassedOver) {
  // Regression: a stale temporary under the name the run chose ended the run with an
  // error naming an unrelated file.
  const unsigned next = win32::nextTemporarySerial();
  for (unsigned serial = next; serial < next + 8; ++serial)
    put(narrow(win32::plainPath(win32::temporaryName(widen(dst), serial))), "stale");
  copy();
  const auto copied = tree(dst);
  EXPECT_EQ(copied.at("a.txt"), "A");
  EXPECT_EQ(copied.at("b.txt"), "B");
}

TEST_F(Win32CopyFaults, TemporariesOfRunsThatEndedAreRemovedAndOthersKept) {
  // Regression: the temporary file of a killed run stayed in the destination for good.
  const std::string ours = narrow(win32::plainPath(win32::temporaryName(widen(dst), 0x7fffffff)));
  const std::string mine = ours.substr(ours.rfind('\\') + 1);
  const std::string pid = mine.substr(6, mine.find('-', 6) - 6);            // after ".qm-0-"
  const std::string dead[] = {".qm-0-4294967280-130000000000000000-3.tmp",  // no such process
                              ".qm-fffffff0-1d2e3f4a5b6c7d8-3.tmp",         // earlier forms
                              ".qm-fffffff0-12.tmp",
                              ".qm-0-" + pid + "-1-5.tmp"};  // this id, another start
  for (const std::string& name : dead) put(dst + "\\" + name, "stale");
  SetFileAttributesW(lp(dst + "\\" + dead[0]).c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const std::string kept[] = {mine, ".qm-notes.tmp", "x.qm-fffffff0-1-1.tmp"};
  for (const std::string& name : kept) put(dst + "\\" + name, "keep");
  copy();
  const auto after = tree(dst);
  for (const std::string& name : dead) EXPECT_EQ(after.count(name), 0u) << name;
  for (const std::string& name : kept) EXPECT_EQ(after.count(name), 1u) << name;
  EXPECT_EQ(after.at("a.txt"), "A");
}

TEST(Win32TemporaryNames, OnlyNamesOfOurRunsThatEndedAreStale) {
  const std::wstring ours = win32::temporaryName(L"C:\\x", 3);
  const std::pair<std::wstring, bool> cases[] = {
      {ours.substr(ours.rfind(L'\\') + 1), false},
      {L".qm-0-4294967280-1-3.tmp", true},
      {L".qm-1-4294967280-1-3.tmp", false},  // another pid namespace
      {L".qm-fffffff0-1d2e3f-3.tmp", true},
      {L".qm-fffffff0-3.tmp", true},
      {L".qm-fffffff0.tmp", false},
      {L".qm-fffffff0-1-2-3.tmp", false},
      {L".qm-xyz-1-2.tmp", false},
      {L".qm-FFFFFFF0-1-2.tmp", false},
      {L"qm-fffffff0-1-2.tmp", false},
      {L".qm-fffffff0-1-2.txt", false},
  };
  for (const auto& [name, stale] : cases)
    EXPECT_EQ(win32::isStaleTemporary(name), stale) << narrow(name);
}

TEST_F(Win32CopyFaults, ADestinationOnADriveThatDoesNotExistIs76) {
  // Regression: it ended in the generic branch (error 2 taken as 53).
  const DWORD drives = GetLogicalDrives();
  char letter = 0;
  for (char c = 'Q'; c <= 'Y' && !letter; ++c)
    if (!(drives & (1u << (c - 'A')))) letter = c;
  if (!letter) GTEST_SKIP() << "every drive letter from Q: on is in use";
  const std::string missing = std::string(1, letter) + ":\\バックアップ\\先";
  try {
    createDiskFileSystemObject()->CopyFolder(src, missing, true);
    ADD_FAILURE() << "copied to " << missing;
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPathNotFound);
    EXPECT_NE(e.path.find("バックアップ"), std::string::npos) << e.path;
  }
  EXPECT_EQ(
      errorOf([&] { createDiskFileSystemObject()->CopyFolder(src, missing.substr(0, 3), true); }),
      err::kPathNotFound);
}

}  // namespace
}  // namespace qm
