// Helpers of the Windows file-system tests: files, trees, times, links, the Unix side of
// Wine, and caught error numbers.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <fstream>
#include <map>
#include <string>

#include "errors.h"
#include "os/win32/wide.h"

namespace qm::testing {

using win32::narrow;
using win32::widen;

inline int errorOf(auto&& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.number;
  }
  return 0;
}

// `path` as a wide long path ("\\?\C:\..."), so that deep trees work too.
inline std::wstring lp(const std::string& path) {
  return path.size() > 2 && path[1] == ':' ? L"\\\\?\\" + widen(path) : widen(path);
}

inline void put(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileW(lp(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD n = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
}

// Every file below `folder` by its relative path, with its bytes (`withBytes`) or none.
inline void collect(const std::string& folder, const std::string& rel,
                    std::map<std::string, std::string>& out, bool withBytes = true) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(lp(folder + "\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[rel + name + "\\"] = "";
      collect(folder + "\\" + name, rel + name + "\\", out, withBytes);
    } else if (!withBytes) {
      out[rel + name] = "";
    } else {
      HANDLE f = CreateFileW(lp(folder + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, 0, nullptr);
      std::string bytes;
      char buf[65536];
      DWORD n = 0;
      while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) bytes.append(buf, n);
      CloseHandle(f);
      out[rel + name] = std::move(bytes);
    }
  } while (FindNextFileW(h, &data));
  FindClose(h);
}

inline std::map<std::string, std::string> tree(const std::string& folder) {
  std::map<std::string, std::string> out;
  collect(folder, "", out);
  return out;
}

// Names only: a test's files may be larger than memory holds (sparse files).
inline std::map<std::string, std::string> names(const std::string& folder) {
  std::map<std::string, std::string> out;
  collect(folder, "", out, false);
  return out;
}

inline void removeTree(const std::string& folder) {
  for (const auto& [rel, bytes] : names(folder))
    if (rel.back() != '\\') {
      SetFileAttributesW(lp(folder + "\\" + rel).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(lp(folder + "\\" + rel).c_str());
    }
  std::map<std::string, std::string> all = names(folder);
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    SetFileAttributesW(lp(folder + "\\" + it->first).c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(lp(folder + "\\" + it->first).c_str());
  }
  RemoveDirectoryW(lp(folder).c_str());
}

// The temporary folder of one test, removed with everything in it afterwards.
inline std::string freshRoot(const char* tag) {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  const std::string root = narrow(base) + tag + std::to_string(GetCurrentProcessId());
  removeTree(root);
  CreateDirectoryW(widen(root).c_str(), nullptr);
  return root;
}

inline FILETIME fileTime(ULONGLONG ticks) {
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

inline ULONGLONG ticksOf(const FILETIME& t) {
  return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

// 2001-02-03 and 2010-05-06, in 100 ns ticks since 1601.
constexpr ULONGLONG kOldTime = 126255744000000000ULL;
constexpr ULONGLONG kNewTime = 129175776000000000ULL;

inline void setWriteTime(const std::string& path, ULONGLONG ticks) {
  HANDLE h =
      CreateFileW(lp(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  const FILETIME t = fileTime(ticks);
  EXPECT_TRUE(SetFileTime(h, nullptr, &t, &t));
  CloseHandle(h);
}

inline ULONGLONG writeTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  EXPECT_TRUE(GetFileAttributesExW(lp(path).c_str(), GetFileExInfoStandard, &d)) << path;
  return ticksOf(d.ftLastWriteTime);
}

inline DWORD attributesOf(const std::string& path) {
  return GetFileAttributesW(lp(path).c_str());
}

// The file index of `path` (folders too): a file renamed into place gets a new one.
inline ULONGLONG fileIndexOf(const std::string& path) {
  HANDLE h =
      CreateFileW(lp(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

inline bool underWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The Unix path of a Windows path under Wine; empty elsewhere.
inline std::string unixPathOf(const std::string& path) {
  using Convert = char* (*)(const wchar_t*);
  const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return "";
  char* unix = convert(widen(path).c_str());
  if (unix == nullptr) return "";
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

// Runs the shell commands `script` on the Unix side of Wine and returns their exit status;
// -1 when they cannot run there. Wine starts Unix programs without a handle to wait on,
// so the script leaves its status in a file that is waited for.
inline int runUnixShell(const std::string& script) {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  const std::string stem = narrow(base) + "qm-unix-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(GetTickCount());
  const std::string scriptFile = stem + ".sh", statusFile = stem + ".status";
  const std::string unixScript = unixPathOf(scriptFile), unixStatus = unixPathOf(statusFile);
  if (unixScript.empty()) return -1;
  std::ofstream(widen(scriptFile).c_str(), std::ios::binary)
      << "(" << script << ") >/dev/null 2>&1; echo $? > '" << unixStatus << ".part' && mv '"
      << unixStatus << ".part' '" << unixStatus << "'\n";
  std::wstring command = L"Z:\\bin\\sh " + widen(unixScript);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    return -1;
  int status = -1;
  for (int waited = 0; waited < 400 && status < 0; ++waited) {
    Sleep(50);
    std::ifstream in(widen(statusFile).c_str());
    if (in) in >> status;
  }
  DeleteFileW(widen(scriptFile).c_str());
  DeleteFileW(widen(statusFile).c_str());
  return status;
}

// Makes `link` a link to the folder `target`: a Unix symbolic link under Wine (whose own
// links are not made), a junction on Windows. False when the system makes none.
inline bool linkFolder(const std::string& link, const std::string& target) {
  if (underWine())
    return runUnixShell("ln -s '" + unixPathOf(target) + "' '" + unixPathOf(link) + "'") == 0;
  if (!CreateDirectoryW(lp(link).c_str(), nullptr)) return false;
  const std::wstring substitute = L"\\??\\" + widen(target), print = widen(target);
  const std::size_t names = (substitute.size() + print.size() + 2) * sizeof(wchar_t);
  std::string buffer(8 + 8 + names, '\0');
  auto put16 = [&](std::size_t at, std::size_t v) {
    buffer[at] = char(v & 255), buffer[at + 1] = char(v >> 8);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  memcpy(buffer.data(), &tag, 4);
  put16(4, 8 + names);
  put16(8, 0);
  put16(10, substitute.size() * 2);
  put16(12, (substitute.size() + 1) * 2);
  put16(14, print.size() * 2);
  memcpy(buffer.data() + 16, substitute.c_str(), substitute.size() * 2);
  memcpy(buffer.data() + 16 + (substitute.size() + 1) * 2, print.c_str(), print.size() * 2);
  HANDLE h = CreateFileW(lp(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD got = 0;
  const BOOL ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                  static_cast<DWORD>(buffer.size()), nullptr, 0, &got, nullptr);
  CloseHandle(h);
  if (!ok) RemoveDirectoryW(lp(link).c_str());
  return ok;
}

}  // namespace qm::testing
