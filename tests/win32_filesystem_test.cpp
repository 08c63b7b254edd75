// The Windows file-system object: base names, and folder copies with their error numbers.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "errors.h"
#include "filesystem.h"
#include "win32/wide.h"

namespace qm {
namespace {

using win32::narrow;
using win32::widen;

int errorOf(auto&& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.number;
  }
  return 0;
}

void put(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD n = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
}

// Every file below `folder` by its relative path, with its bytes.
void collect(const std::string& folder, const std::string& rel, std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(widen(folder + "\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[rel + name + "\\"] = "";
      collect(folder + "\\" + name, rel + name + "\\", out);
    } else {
      HANDLE f = CreateFileW(widen(folder + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, 0, nullptr);
      char buf[256];
      DWORD n = 0;
      ReadFile(f, buf, sizeof buf, &n, nullptr);
      CloseHandle(f);
      out[rel + name] = std::string(buf, n);
    }
  } while (FindNextFileW(h, &data));
  FindClose(h);
}

std::map<std::string, std::string> tree(const std::string& folder) {
  std::map<std::string, std::string> out;
  collect(folder, "", out);
  return out;
}

void removeTree(const std::string& folder) {
  for (const auto& [rel, bytes] : tree(folder))
    if (rel.back() != '\\') {
      SetFileAttributesW(widen(folder + "\\" + rel).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(widen(folder + "\\" + rel).c_str());
    }
  std::map<std::string, std::string> all = tree(folder);
  for (auto it = all.rbegin(); it != all.rend(); ++it) RemoveDirectoryW(widen(folder + "\\" + it->first).c_str());
  RemoveDirectoryW(widen(folder).c_str());
}

class Win32FileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    root = narrow(base) + "qm-fs-" + std::to_string(GetCurrentProcessId());
    removeTree(root);
    CreateDirectoryW(widen(root).c_str(), nullptr);
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
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\データ\\元", "元"},      {"C:\\a\\b.txt", "b"},  {"C:\\a\\v1.2.3", "v1.2"},
      {"C:\\a\\", "a"},             {"C:\\", ""},           {"C:", ""},
      {"D:folder", "folder"},       {"\\\\srv\\share\\x.y", "x"}, {".hidden", ""},
      {"plain", "plain"},           {"", ""}};
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
  fso->CopyFolder(root + "\\データ\\", root + "\\出力\\データ\\", true);
  const auto copied = tree(root + "\\出力\\データ");
  EXPECT_EQ(copied.at("a.txt"), "A");
  EXPECT_EQ(copied.at("keep"), "K");
  EXPECT_EQ(copied.at("下\\b.bin"), "B");
}

TEST_F(Win32FileSystem, FailuresCarryTheNumbersTheCopyToolCompares) {
  struct Case {
    std::string source, destination;
    int number;
  } cases[] = {
      {root + "\\none", root + "\\出力\\x", err::kPathNotFound},
      {root + "\\データ\\a.txt", root + "\\出力\\x", err::kPathNotFound},
      {root + "\\データ", root + "\\no\\such\\x", err::kPathNotFound},
      {root + "\\データ", root + "\\データ\\下\\x", err::kInvalidCall},
      {root + "\\データ", root + "\\データ", err::kInvalidCall},
  };
  for (const Case& c : cases)
    EXPECT_EQ(errorOf([&] { fso->CopyFolder(c.source, c.destination, true); }), c.number) << c.destination;
}

TEST_F(Win32FileSystem, AReadOnlyTargetFileIsPermissionDenied) {
  CreateDirectoryW(widen(root + "\\出力\\データ").c_str(), nullptr);
  put(root + "\\出力\\データ\\a.txt", "old");
  SetFileAttributesW(widen(root + "\\出力\\データ\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(errorOf([&] { fso->CopyFolder(root + "\\データ", root + "\\出力\\データ", true); }),
            err::kPermissionDenied);
}

TEST_F(Win32FileSystem, WithoutOverwriteAnExistingFileIsError58) {
  CreateDirectoryW(widen(root + "\\出力\\データ").c_str(), nullptr);
  put(root + "\\出力\\データ\\a.txt", "old");
  EXPECT_EQ(errorOf([&] { fso->CopyFolder(root + "\\データ", root + "\\出力\\データ", false); }),
            err::kFileExists);
}

}  // namespace
}  // namespace qm
