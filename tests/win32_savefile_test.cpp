// Tests of saving a small file on Windows: links, attributes, folders that take no new
// file, leftovers of killed saves.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "os/run.h"
#include "os/textfile.h"
#include "tempname.h"
#include "win32_fs_util.h"

namespace qm {
namespace {

using testing::errorOf;
using testing::put;
using testing::widen;

// Under Wine, a folder that takes no new file while its files stay writable: immutable
// (chattr, as root, whom no mode stops) or without write permission. Not locked
// elsewhere, nor where neither works.
class FolderLock {
 public:
  explicit FolderLock(std::string folder)
      : folder_(std::move(folder)), unix_(testing::unixPathOf(folder_)) {
    if (unix_.empty()) return;
    // Each command has ended before the next look: a probe made while the lock was still
    // coming could not be removed once it had come.
    testing::runUnixShell("chattr +i '" + unix_ + "'");
    if (!takesNoNewFile()) testing::runUnixShell("chmod 555 '" + unix_ + "'");
    locked_ = takesNoNewFile();
  }
  ~FolderLock() {
    if (unix_.empty()) return;
    testing::runUnixShell("chattr -i '" + unix_ + "'; chmod 755 '" + unix_ + "'");
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool locked() const { return locked_; }

 private:
  bool takesNoNewFile() {
    const std::wstring probe = widen(folder_ + "\\probe");
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return true;
    CloseHandle(h);
    DeleteFileW(probe.c_str());
    return false;
  }

  std::string folder_;
  std::string unix_;
  bool locked_ = false;
};

class Win32SaveFile : public ::testing::Test {
 protected:
  void TearDown() override { testing::removeTree(root); }
  std::string root = testing::freshRoot("qm-save-");
  std::string file = root + "\\Copy.Copy";
};

// Guards against the error boxes of a failed save where the folder takes no new file (a Windows
// directory without virtualisation) but Copy.Copy itself is writable.
TEST_F(Win32SaveFile, AFolderThatTakesNoNewFileGetsTheFileWrittenInPlace) {
  put(file, "an older and longer job");
  {
    FolderLock lock(root);
    if (!lock.locked()) GTEST_SKIP() << "no way to lock a folder here (Wine with chattr or chmod)";
    replaceFileAtomically(file, "new job");
    EXPECT_EQ(errorOf([&] { replaceFileAtomically(root + "\\other", "x"); }),
              err::kPermissionDenied);
  }
  EXPECT_EQ(readWholeFile(file), "new job");
  EXPECT_EQ(testing::tree(root), (std::map<std::string, std::string>{{"Copy.Copy", "new job"}}));
}

// Guards against a save turning a symbolic link into a plain file.
TEST_F(Win32SaveFile, ALinkKeepsPointingAtItsReplacedTarget) {
  CreateDirectoryW(widen(root + "\\real").c_str(), nullptr);
  put(root + "\\real\\job", "old job");
  // Wine 8 answers the call without making a link; only a real link is tested.
  if (!CreateSymbolicLinkW(widen(file).c_str(), widen(root + "\\real\\job").c_str(),
                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
      GetFileAttributesW(widen(file).c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no symbolic links here";
  replaceFileAtomically(file, "new job");
  EXPECT_TRUE(GetFileAttributesW(widen(file).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(readWholeFile(root + "\\real\\job"), "new job");
  EXPECT_EQ(readWholeFile(file), "new job");
}

// Guards against a save dropping the attributes the user gave the file.
TEST_F(Win32SaveFile, AHiddenFileStaysHidden) {
  put(file, "old");
  SetFileAttributesW(widen(file).c_str(), FILE_ATTRIBUTE_HIDDEN);
  replaceFileAtomically(file, "new");
  EXPECT_TRUE(GetFileAttributesW(widen(file).c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(readWholeFile(file), "new");
}

void age(const std::string& path) {
  HANDLE h = CreateFileW(widen(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
  t.QuadPart -= 2ull * 3600 * 10000000;
  const FILETIME then{t.LowPart, t.HighPart};
  SetFileTime(h, nullptr, nullptr, &then);
  CloseHandle(h);
}

// Guards against the temporary files of killed saves piling up beside the file.
TEST_F(Win32SaveFile, LeftoversOfKilledSavesAreRemoved) {
  const TemporaryOwner self = os::thisRun();
  const TemporaryOwner gone{0, 4000000001ul, 0};  // process ids are multiples of four
  const std::string alive = temporaryNameBeside("Copy.Copy", self, 2);
  const std::string aged = temporaryNameBeside("Copy.Copy", self, 3);
  const std::string other = "Other" + temporaryName(gone, 1);
  for (const std::string& name :
       {temporaryNameBeside("Copy.Copy", gone, 1), alive, aged, std::string("Copy.Copy.tmp123"),
        std::string("Copy.Copy.tmp654321"), std::string("Copy.Copy.tmp4000000001-1"), other})
    put(root + "\\" + name, "x");
  for (const std::string& old : {aged, std::string("Copy.Copy.tmp654321")}) age(root + "\\" + old);
  replaceFileAtomically(file, "new");
  std::set<std::string> names;
  for (const auto& [name, bytes] : testing::tree(root)) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"Copy.Copy", alive, "Copy.Copy.tmp123", other}));
}

}  // namespace
}  // namespace qm
