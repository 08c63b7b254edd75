// Program start by bare file name under Wine: the program's own folder first, then the
// current folder, and error 53 when the file is in neither.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "errors.h"
#include "os/win32/wide.h"
#include "ui/app.h"

namespace qm {
namespace {

using win32::narrow;
using win32::widen;

// The build passes Linux paths; Wine shows the Linux root as drive Z:.
std::wstring windowsPath(const char* linuxPath) {
  std::wstring path = L"Z:" + widen(linuxPath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

std::wstring folderOf(const std::wstring& path) {
  return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring ownFolder() {
  wchar_t buf[MAX_PATH * 2];
  return folderOf(std::wstring(buf, GetModuleFileNameW(nullptr, buf, MAX_PATH * 2)));
}

// What the started probe wrote: the path it was started from; empty after 15 s.
std::string waitForReport(const std::wstring& report) {
  for (int i = 0; i < 150; ++i) {
    HANDLE h = CreateFileW(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      char buf[1024];
      DWORD n = 0;
      ReadFile(h, buf, sizeof buf, &n, nullptr);
      CloseHandle(h);
      if (n > 0) return std::string(buf, n);
    }
    Sleep(100);
  }
  return {};
}

bool samePath(const std::string& a, const std::wstring& b) {
  const std::wstring wa = widen(a);
  return CompareStringOrdinal(wa.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class Win32Start : public ::testing::Test {
 protected:
  void SetUp() override {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    ui = createBackend(argc, argv, "QM(Quillmar)");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    cwd = std::wstring(temp) + L"qm-start-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(cwd.c_str(), nullptr);
    GetCurrentDirectoryW(MAX_PATH, oldCwd);
    SetCurrentDirectoryW(cwd.c_str());
    report = cwd + L"report.txt";
    SetEnvironmentVariableW(L"QM_PROBE_REPORT", report.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryW(oldCwd);
    SetEnvironmentVariableW(L"QM_PROBE_REPORT", nullptr);
    for (const std::wstring& f : placed) DeleteFileW(f.c_str());
    DeleteFileW(report.c_str());
    RemoveDirectoryW(cwd.c_str());
  }
  void place(const std::wstring& path) {
    ASSERT_TRUE(CopyFileW(windowsPath(QM_PROBE_EXE).c_str(), path.c_str(), FALSE)) << narrow(path);
    placed.push_back(path);
  }
  std::unique_ptr<Backend> ui;
  std::wstring cwd, report;
  wchar_t oldCwd[MAX_PATH];
  std::vector<std::wstring> placed;
};

TEST_F(Win32Start, TheProgramsOwnFolderComesBeforeTheCurrentFolder) {
  // One name in both folders, one only in the current folder.
  place(ownFolder() + L"qm-start-both.exe");
  place(cwd + L"qm-start-both.exe");
  place(cwd + L"qm-start-cwd.exe");
  const struct {
    const char* name;
    std::wstring startedFrom;
  } cases[] = {{"qm-start-both.exe", ownFolder()}, {"qm-start-cwd.exe", cwd}};
  for (const auto& c : cases) {
    DeleteFileW(report.c_str());
    ASSERT_NO_THROW(ui->startProgram(c.name, kNormalFocus)) << c.name;
    const std::string started = waitForReport(report);
    EXPECT_TRUE(samePath(started, c.startedFrom + widen(c.name)))
        << c.name << " started " << started;
  }
}

TEST_F(Win32Start, ANameInNeitherFolderIsError53) {
  place(cwd + L"qm-start-cwd.exe");
  for (const char* name : {"qm-start-none.exe", "qm-start-cwd", "QMS (QuillmarSetter).exe"}) {
    try {
      ui->startProgram(name, kNormalFocus);
      ADD_FAILURE() << "started " << name;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kFileNotFound) << name;
    }
  }
}

}  // namespace
}  // namespace qm
