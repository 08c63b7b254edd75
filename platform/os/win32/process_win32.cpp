// Program start by bare file name on Win32: own folder first, then the current folder.
#include <windows.h>

#include <string>

#include "error_numbers.h"
#include "errors.h"
#include "os/process.h"
#include "wide.h"

namespace qm {
namespace {

// The folder of the running program, with a trailing backslash. The buffer grows until
// the whole path fits, so a program in a deep folder still finds its neighbour.
std::wstring programFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  return buf.substr(0, buf.rfind(L'\\') + 1);
}

std::wstring currentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring path(size, L'\0');
  const DWORD n = GetCurrentDirectoryW(size, path.data());
  path.resize(n < size ? n : 0);
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

bool isFile(const std::wstring& path) {
  const DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void startProgramByName(std::string_view bareName, int windowStyle) {
  const std::wstring name = win32::widen(bareName);
  std::wstring path;
  for (const std::wstring& folder : {programFolder(), currentFolder()})
    if (!folder.empty() && isFile(folder + name)) {
      path = folder + name;
      break;
    }
  if (path.empty()) throw RuntimeError(err::kFileNotFound, bareName);
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(windowStyle == 1 ? SW_SHOWNORMAL : windowStyle);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &si, &pi))
    throw RuntimeError(win32::errorNumberFromWin32(GetLastError()), bareName);
  AllowSetForegroundWindow(pi.dwProcessId);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

std::string machineName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return {};
  return win32::narrow(std::wstring(name, size));
}

}  // namespace qm
