// Helpers of the Windows file-system tests: files, trees, folders and caught error numbers.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "errors.h"
#include "wide.h"

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

// Every file below `folder` by its relative path, with its bytes.
inline void collect(const std::string& folder, const std::string& rel, std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(lp(folder + "\\*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[rel + name + "\\"] = "";
      collect(folder + "\\" + name, rel + name + "\\", out);
    } else {
      HANDLE f = CreateFileW(lp(folder + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
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

inline std::map<std::string, std::string> tree(const std::string& folder) {
  std::map<std::string, std::string> out;
  collect(folder, "", out);
  return out;
}

inline void removeTree(const std::string& folder) {
  for (const auto& [rel, bytes] : tree(folder))
    if (rel.back() != '\\') {
      SetFileAttributesW(lp(folder + "\\" + rel).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(lp(folder + "\\" + rel).c_str());
    }
  std::map<std::string, std::string> all = tree(folder);
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

}  // namespace qm::testing
