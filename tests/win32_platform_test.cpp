// The Windows sides of the platform layer under code page 932: conversion, Windows
// directory, file replacement, and the settings file's exact bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "errors.h"
#include "os/codepage.h"
#include "os/textfile.h"
#include "os/win32/awake.h"
#include "os/win32/error_numbers.h"
#include "os/win32/wide.h"
#include "os/windir.h"
#include "settings.h"
#include "settings_golden.h"

namespace qm {
namespace {

std::string bytes(std::initializer_list<unsigned char> list) {
  return std::string(list.begin(), list.end());
}

int errorOf(auto&& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.number;
  }
  return 0;
}

// A fresh folder under the temporary folder, removed with its files afterwards.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = win32::narrow(base) + "qm-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter_++);
    CreateDirectoryW(win32::widen(path_).c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::string& name : names()) DeleteFileW(win32::widen(path_ + "\\" + name).c_str());
    RemoveDirectoryW(win32::widen(path_).c_str());
  }
  const std::string& path() const { return path_; }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(win32::widen(path_ + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
      const std::wstring n = data.cFileName;
      if (n != L"." && n != L"..") out.push_back(win32::narrow(n));
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return out;
  }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

TEST(Win32CodePage, TheAnsiCodePageIsShiftJis) {
  EXPECT_EQ(GetACP(), 932u);
}

struct AnsiCase {
  const char* utf8;
  std::string ansi;
};

TEST(Win32CodePage, ConvertsBothWaysByteForByte) {
  const AnsiCase cases[] = {
      {"", ""},
      {"C:\\Data, 1", "C:\\Data, 1"},
      {"C:\\データ\\元",
       bytes({0x43, 0x3a, 0x5c, 0x83, 0x66, 0x81, 0x5b, 0x83, 0x5e, 0x5c, 0x8c, 0xb3})},
      {"表", bytes({0x95, 0x5c})},  // a trail byte equal to '\'
      {"①", bytes({0x87, 0x40})},
      {"～", bytes({0x81, 0x60})},
      {"ｱｲｳ", bytes({0xb1, 0xb2, 0xb3})},
  };
  for (const AnsiCase& c : cases) {
    EXPECT_EQ(toAnsi(c.utf8, "t"), c.ansi) << c.utf8;
    EXPECT_EQ(fromAnsi(c.ansi, "t"), c.utf8) << c.utf8;
  }
}

TEST(Win32CodePage, RefusesCharactersTheCodePageCannotHold) {
  // é, € and the emoji have no mapping; the wave dash only a best-fit look-alike.
  for (const char* text :
       {"caf\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE3\x80\x9C", "\xFF"})
    EXPECT_EQ(errorOf([&] { toAnsi(text, "t"); }), err::kInvalidCall) << text;
}

TEST(Win32CodePage, RefusesBytesThatAreNotShiftJis) {
  for (const std::string& ansi : {bytes({0x41, 0x81}), bytes({0x83})})
    EXPECT_EQ(errorOf([&] { fromAnsi(ansi, "t"); }), err::kPathFileAccess);
}

TEST(Win32WindowsDirectory, MatchesTheSystemLookup) {
  wchar_t wide[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(wide, MAX_PATH);
  const std::string expected = win32::narrow(std::wstring_view(wide, n));
  std::string buffer(255, ' ');
  EXPECT_EQ(getWindowsDirectoryA(buffer.data(), 255), expected.size());
  EXPECT_EQ(buffer.substr(0, buffer.find('\0')), expected);
  EXPECT_EQ(buffer.back(), ' ');
}

TEST(Win32WindowsDirectory, LeavesATooSmallBufferUntouched) {
  std::string buffer(3, ' ');
  EXPECT_GT(getWindowsDirectoryA(buffer.data(), 3), 3u);
  EXPECT_EQ(buffer, "   ");
}

// The classic lookup: a directory that does not fit leaves the buffer's spaces.
TEST(Win32WindowsDirectory, ADirectoryWiderThanTheBufferLeavesItsSpaces) {
  EXPECT_EQ(lookupWindowsDirectory(3), "   ");
}

TEST(Win32WindowsDirectory, SettingsPathUsesBackslash) {
  wchar_t wide[MAX_PATH];
  const std::string dir =
      win32::narrow(std::wstring_view(wide, GetWindowsDirectoryW(wide, MAX_PATH)));
  EXPECT_EQ(lookupWindowsDirectory(kCopyToolBufferWidth), dir);
  EXPECT_EQ(settingsPath(lookupWindowsDirectory(kCopyToolBufferWidth)), dir + "\\Copy.Copy");
}

TEST(Win32TextFile, ReplacesAFileAndLeavesNoTemporaryFile) {
  TempFolder folder;
  const std::string path = folder.path() + "\\Copy.Copy";
  for (const std::string& content : {std::string("first\r\n"), std::string("2nd"), std::string()}) {
    replaceFileAtomically(path, content);
    EXPECT_EQ(readWholeFile(path), content);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"Copy.Copy"});
  }
}

// Ends the test program when the scope takes longer than 20 s: a read that blocks fails
// the suite instead of hanging it.
class HangGuard {
 public:
  HangGuard() {
    CreateTimerQueueTimer(&timer_, nullptr, giveUp, nullptr, 20000, 0, WT_EXECUTEONLYONCE);
  }
  ~HangGuard() { DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE); }

 private:
  static void CALLBACK giveUp(void*, BOOLEAN) { ExitProcess(3); }

  HANDLE timer_ = nullptr;
};

void writeFile(const std::string& path, const std::string& bytes) {
  HANDLE h =
      CreateFileW(win32::widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

// Guards against a read that blocks on a pipe or fills memory from a device or a huge file.
TEST(Win32TextFile, OnlyDiskFilesUpTo64KiBAreRead) {
  TempFolder folder;
  const std::string pipe = "\\\\.\\pipe\\qm-test-" + std::to_string(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(win32::widen(pipe).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                   1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  CreateDirectoryW(win32::widen(folder.path() + "\\folder").c_str(), nullptr);
  writeFile(folder.path() + "\\64KiB", std::string(64 * 1024, 'x'));
  writeFile(folder.path() + "\\64KiB+1", std::string(64 * 1024 + 1, 'x'));
  writeFile(folder.path() + "\\8MB", std::string(8 << 20, 'x'));
  HangGuard guard;
  for (const std::string& odd : {pipe, std::string("NUL"), folder.path() + "\\folder",
                                 folder.path() + "\\64KiB+1", folder.path() + "\\8MB"}) {
    const int number = errorOf([&] { readWholeFile(odd); });
    EXPECT_NE(number, 0) << odd << " was read";
    EXPECT_NE(number, err::kFileNotFound) << odd;
  }
  EXPECT_EQ(readWholeFile(folder.path() + "\\64KiB").size(), 64u * 1024);
  CloseHandle(server);
}

TEST(Win32TextFile, FailuresCarryTheirErrorNumbers) {
  TempFolder folder;
  EXPECT_EQ(errorOf([&] { readWholeFile(folder.path() + "\\none"); }), err::kFileNotFound);
  EXPECT_EQ(errorOf([&] { readWholeFile(folder.path() + "\\no\\none"); }), err::kPathNotFound);
  EXPECT_EQ(errorOf([&] { replaceFileAtomically(folder.path() + "\\no\\f", "x"); }),
            err::kPathNotFound);
  EXPECT_TRUE(folder.names().empty());
  EXPECT_FALSE(fileExists(folder.path()));
  EXPECT_FALSE(fileExists(folder.path() + "\\none"));
  replaceFileAtomically(folder.path() + "\\f", "x");
  EXPECT_TRUE(fileExists(folder.path() + "\\f"));
}

TEST(Win32TextFile, AFileOpenWithoutSharingIsNotReplaced) {
  TempFolder folder;
  const std::string path = folder.path() + "\\Copy.Copy";
  replaceFileAtomically(path, "old");
  HANDLE h =
      CreateFileW(win32::widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(errorOf([&] { replaceFileAtomically(path, "new"); }), err::kPermissionDenied);
  CloseHandle(h);
  EXPECT_EQ(readWholeFile(path), "old");
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Copy.Copy"});
}

// The bytes the Linux build writes for the same job: each value in CP932, quoted, CR LF.
TEST(Win32Settings, WritesTheSameBytesAsTheLinuxBuild) {
  TempFolder folder;
  const std::string path = folder.path() + "\\Copy.Copy";
  writeSettings(path, {"C:\\データ\\元", "D:\\バックアップ", "元"});
  const std::string golden =
      bytes({0x22, 0x43, 0x3a, 0x5c, 0x83, 0x66, 0x81, 0x5b, 0x83, 0x5e, 0x5c, 0x8c, 0xb3, 0x22,
             0x0d, 0x0a, 0x22, 0x44, 0x3a, 0x5c, 0x83, 0x6f, 0x83, 0x62, 0x83, 0x4e, 0x83, 0x41,
             0x83, 0x62, 0x83, 0x76, 0x22, 0x0d, 0x0a, 0x22, 0x8c, 0xb3, 0x22, 0x0d, 0x0a});
  EXPECT_EQ(readWholeFile(path), golden);
  const CopySettings back = readSettings(path);
  EXPECT_EQ(back.SourcePath, "C:\\データ\\元");
  EXPECT_EQ(back.DestinationPath, "D:\\バックアップ");
  EXPECT_EQ(back.BaseName, "元");
}

// Guards against a job with a folder named in another script being refused on Windows,
// or written otherwise than the Linux build writes it.
TEST(Win32Settings, AJobOutsideTheCodePageIsWrittenAsTheLinuxBuildWritesIt) {
  TempFolder folder;
  const std::string path = folder.path() + "\\Copy.Copy";
  const CopySettings job{"/home/u/Café/한국어/📷", "/media/usb/バックアップ", "📷"};
  writeSettings(path, job);
  EXPECT_EQ(readWholeFile(path), testing::kUtf8Job);
}

TEST(Win32Settings, AFileWrittenOnLinuxAsUtf8ReadsTheSame) {
  TempFolder folder;
  const std::string path = folder.path() + "\\Copy.Copy";
  writeFile(path, testing::kUtf8Job);
  const CopySettings back = readSettings(path);
  EXPECT_EQ(back.SourcePath, "/home/u/Café/한국어/📷");
  EXPECT_EQ(back.DestinationPath, "/media/usb/バックアップ");
  EXPECT_EQ(back.BaseName, "📷");
}

TEST(Win32Settings, AValueARecordCannotHoldLeavesTheOldFile) {
  TempFolder folder;
  const std::string path = folder.path() + "\\Copy.Copy";
  writeSettings(path, {"a", "b", ""});
  const CopySettings quoted{"C:\\caf\xC3\xA9\"", "b", "c"};
  EXPECT_EQ(errorOf([&] { writeSettings(path, quoted); }), err::kInvalidCall);
  EXPECT_EQ(readWholeFile(path), "\"a\"\r\n\"b\"\r\n\"\"\r\n");
}

TEST(Win32Errors, Win32CodesMapToRunTimeErrors) {
  const std::pair<DWORD, int> cases[] = {{ERROR_FILE_NOT_FOUND, 53},  {ERROR_PATH_NOT_FOUND, 76},
                                         {ERROR_ACCESS_DENIED, 70},   {ERROR_SHARING_VIOLATION, 70},
                                         {ERROR_DISK_FULL, 61},       {ERROR_NOT_READY, 71},
                                         {ERROR_INVALID_DRIVE, 68},   {ERROR_FILE_EXISTS, 58},
                                         {ERROR_INVALID_NAME, 52},    {ERROR_CRC, 57},
                                         {ERROR_INVALID_FUNCTION, 75}};
  for (auto [code, number] : cases) EXPECT_EQ(win32::errorNumberFromWin32(code), number) << code;
}

// The execution states asked for, with the thread that asked.
std::vector<std::pair<EXECUTION_STATE, DWORD>> askedStates;
EXECUTION_STATE WINAPI recordState(EXECUTION_STATE state) {
  askedStates.emplace_back(state, GetCurrentThreadId());
  return ES_CONTINUOUS;
}

// The system stays awake while a copy runs and may sleep again once it has ended; the
// state is the thread's, so both calls come from the thread that holds it.
TEST(Win32KeepAwake, AsksTheSystemToStayAwakeThenLetsGoOnTheSameThread) {
  askedStates.clear();
  DWORD holder = 0;
  std::thread([&] {
    holder = GetCurrentThreadId();
    const win32::KeepAwake awake(&recordState);
    EXPECT_EQ(askedStates.size(), 1u);
  }).join();
  const std::vector<std::pair<EXECUTION_STATE, DWORD>> expected{
      {ES_CONTINUOUS | ES_SYSTEM_REQUIRED, holder}, {ES_CONTINUOUS, holder}};
  EXPECT_EQ(askedStates, expected);
}

}  // namespace
}  // namespace qm
