// The Windows file-system object: base names, and folder copies with their error numbers.
#include "ui/filesystem.h"
#include "win32_fs_util.h"

namespace qm {
namespace {

using namespace qm::testing;

class Win32FileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    root = freshRoot("qm-fs-");
    for (const char* d : {"\\データ", "\\データ\\下", "\\データ\\空", "\\出力"})
      CreateDirectoryW(widen(root + d).c_str(), nullptr);
    put(root + "\\データ\\a.txt", "A");
    put(root + "\\データ\\下\\b.bin", "B");
  }
  void TearDown() override { removeTree(root); }
  std::string root;
  std::unique_ptr<FileSystemObject> fso = createDiskFileSystemObject();
};

TEST_F(Win32FileSystem, BaseNameIsTheLastComponentWithoutItsLastDotPart) {
  const std::pair<const char*, const char*> cases[] = {{"C:\\データ\\元", "元"},
                                                       {"C:\\a\\b.txt", "b"},
                                                       {"C:\\a\\v1.2.3", "v1.2"},
                                                       {"C:\\a\\", "a"},
                                                       {"C:\\", ""},
                                                       {"C:", ""},
                                                       {"D:folder", "folder"},
                                                       {"\\\\srv\\share\\x.y", "x"},
                                                       {".hidden", ""},
                                                       {"plain", "plain"},
                                                       {"", ""}};
  for (auto [path, base] : cases) EXPECT_EQ(fso->GetBaseName(path), base) << path;
}

TEST_F(Win32FileSystem, CopiesTheWholeTreeIntoANewFolder) {
  fso->CopyFolder(root + "\\データ", root + "\\出力\\データ", true);
  const std::map<std::string, std::string> expected{
      {"a.txt", "A"}, {"下\\", ""}, {"下\\b.bin", "B"}, {"空\\", ""}};
  EXPECT_EQ(tree(root + "\\出力\\データ"), expected);
}

TEST_F(Win32FileSystem, OverwritesExistingFilesAndKeepsOthers) {
  CreateDirectoryW(widen(root + "\\出力\\データ").c_str(), nullptr);
  put(root + "\\出力\\データ\\a.txt", "old");
  put(root + "\\出力\\データ\\keep", "K");
  fso->CopyFolder(root + "\\データ\\", root + "\\出力\\データ", true);
  const auto copied = tree(root + "\\出力\\データ");
  EXPECT_EQ(copied.at("a.txt"), "A");
  EXPECT_EQ(copied.at("keep"), "K");
  EXPECT_EQ(copied.at("下\\b.bin"), "B");
}

TEST_F(Win32FileSystem, FailuresCarryTheNumbersTheCopyToolCompares) {
  struct Case {
    std::string source, destination;
    int number;
  };
  put(root + "\\出力\\f.txt", "F");
  const Case cases[] = {
      {root + "\\none", root + "\\出力\\x", err::kPathNotFound},
      {"", root + "\\出力\\x", err::kPathNotFound},
      {root + "\\データ\\a.txt", root + "\\出力\\x", err::kPathNotFound},
      {root + "\\データ", "", err::kPathNotFound},
      {root + "\\データ", root + "\\no\\such\\", err::kPathNotFound},
      {root + "\\データ", root + "\\出力\\f.txt", err::kFileExists},
      {root + "\\データ", root + "\\出力\\f.txt\\x", err::kFileExists},
      {root + "\\データ", root + "\\出力\\f.txt\\", err::kFileExists},
      {root + "\\データ", root + "\\データ\\下\\x", err::kPathFileAccess},
      {root + "\\データ", root + "\\データ", err::kPathFileAccess},
      // Names that Windows shortens to nothing would land in the folder above.
      {root + "\\データ", root + "\\出力\\...", err::kPathFileAccess},
      {root + "\\データ", root + "\\出力\\. .", err::kPathFileAccess},
  };
  for (const Case& c : cases)
    EXPECT_EQ(errorOf([&] { fso->CopyFolder(c.source, c.destination, true); }), c.number)
        << c.destination;
}

TEST_F(Win32FileSystem, WithoutOverwriteAnExistingFileIsError58) {
  CreateDirectoryW(widen(root + "\\出力\\データ").c_str(), nullptr);
  put(root + "\\出力\\データ\\a.txt", "old");
  EXPECT_EQ(errorOf([&] { fso->CopyFolder(root + "\\データ", root + "\\出力\\データ", false); }),
            err::kFileExists);
}

}  // namespace
}  // namespace qm
