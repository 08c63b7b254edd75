// Drives and folders of Windows for the drive and folder lists, through long paths.
#include <windows.h>

#include <algorithm>

#include "drives.h"
#include "error_numbers.h"
#include "errors.h"
#include "longpath.h"
#include "drive_letter.h"
#include "wide.h"

namespace qm::win32 {

namespace {

constexpr int kLetters = 26;

// The volume label of a fixed drive, or empty.
std::wstring fixedDriveLabel(const std::wstring& root) {
  if (GetDriveTypeW(root.c_str()) != DRIVE_FIXED) return {};
  std::wstring label(MAX_PATH + 1, L'\0');  // the documented largest label
  if (!GetVolumeInformationW(root.c_str(), label.data(), static_cast<DWORD>(label.size()), nullptr,
                             nullptr, nullptr, nullptr, 0))
    return {};
  label.resize(wcslen(label.c_str()));
  return label;
}

// A folder that is not there is a path not found, whichever part of it is missing.
int folderErrorNumber(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND ? err::kPathNotFound : errorNumberFromWin32(code);
}

}  // namespace

std::vector<std::string> driveSpecs() {
  std::vector<std::string> specs;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < kLetters; ++i)
    if (mask & (1u << i)) specs.push_back({static_cast<char>('A' + i), ':'});
  return specs;
}

bool driveExists(std::string_view spec) {
  const std::string drive = driveSpecOf(spec);
  if (drive.size() != 2 || drive[1] != ':' || drive[0] < 'A' || drive[0] > 'Z') return false;
  return GetLogicalDrives() & (1u << (drive[0] - 'A'));
}

std::wstring driveCaption(const std::string& spec) {
  std::wstring caption = widen(spec);
  const std::wstring label = fixedDriveLabel(caption + L"\\");
  return label.empty() ? caption : caption + L" [" + label + L"]";
}

std::wstring currentFolder() {
  std::wstring buf(GetCurrentDirectoryW(0, nullptr), L'\0');
  buf.resize(GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data()));
  return plainPath(absolutePath(buf));
}

std::wstring folderOf(std::string_view path) {
  if (path.empty()) throw RuntimeError(err::kPathNotFound, path);
  const bool bareDrive = driveSpecOf(path).size() == path.size();
  const std::wstring folder = plainPath(absolutePath(widen(bareDrive ? driveSpecOf(path) : path)));
  if (folder.size() < 3 || folder[1] != L':' || !driveExists(narrow(folder.substr(0, 2))))
    throw RuntimeError(err::kDeviceUnavailable, path);
  const DWORD attrs = GetFileAttributesW(longPath(folder).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) throw RuntimeError(folderErrorNumber(GetLastError()), path);
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) throw RuntimeError(err::kPathNotFound, path);
  return folder;
}

std::vector<std::wstring> subfoldersOf(const std::wstring& folder) {
  const std::wstring pattern = longPath(folder) + (folder.back() == L'\\' ? L"*" : L"\\*");
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND)
      throw RuntimeError(errorNumberFromWin32(code), narrow(folder));
    return {};
  }
  std::vector<std::wstring> names;
  do {
    const std::wstring name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
      names.push_back(name);
  } while (FindNextFileW(h, &data));
  FindClose(h);
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

}  // namespace qm::win32
