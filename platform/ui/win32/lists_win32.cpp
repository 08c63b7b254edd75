// The drive list (a drop-down of "C:" drives) and the folder list (a list box tree).
#include <algorithm>
#include <cctype>

#include "backend_win32.h"
#include "controls_win32.h"
#include "error_numbers.h"
#include "errors.h"
#include "form_win32.h"
#include "wide.h"

namespace qm::win32 {
namespace {

// "C:" from a drive specification such as "c:", "C:" or "C:\Data"; empty when none.
std::string driveOf(std::string_view spec) {
  if (spec.size() < 2 || spec[1] != ':' || !std::isalpha(static_cast<unsigned char>(spec[0])))
    return {};
  return {static_cast<char>(std::toupper(static_cast<unsigned char>(spec[0]))), ':'};
}

bool driveExists(const std::string& drive) {
  return !drive.empty() && (GetLogicalDrives() & (1u << (drive[0] - 'A')));
}

std::wstring fullPath(const std::wstring& path) {
  wchar_t buf[MAX_PATH * 2];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buf, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) throw RuntimeError(err::kBadFileName, narrow(path));
  std::wstring out(buf, n);
  if (out.size() > 3 && out.back() == L'\\') out.pop_back();
  return out;
}

// The subfolders of `folder`, sorted as the system compares names; a folder that cannot
// be listed throws the error its cause stands for.
std::vector<std::wstring> subfoldersOf(const std::wstring& folder) {
  std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) throw RuntimeError(errorNumberFromWin32(code), narrow(folder));
    return {};
  }
  std::vector<std::wstring> out;
  do {
    const std::wstring name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
      out.push_back(name);
  } while (FindNextFileW(h, &data));
  FindClose(h);
  std::sort(out.begin(), out.end(),
            [](const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });
  return out;
}

}  // namespace

// ---- drive list -----------------------------------------------------------------------

W32DriveList::W32DriveList(W32Form& form, HWND hwnd) : form_(form), hwnd_(hwnd) {
  wchar_t cwd[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
  drive_ = driveOf(narrow(std::wstring_view(cwd, n)));
  fill();
  if (!driveExists(drive_) && !specs_.empty()) drive_ = specs_.front();
  fill();
}

void W32DriveList::fill() {
  SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
  specs_.clear();
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const std::string spec{static_cast<char>('A' + i), ':'};
    std::wstring item = widen(spec);
    wchar_t label[MAX_PATH + 1] = L"";
    const std::wstring root = item + L"\\";
    const UINT type = GetDriveTypeW(root.c_str());
    // Removable and network drives are not asked for a label: asking may wait on them.
    if (type == DRIVE_FIXED && GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr,
                                                     nullptr, nullptr, nullptr, 0) && label[0])
      item += std::wstring(L" [") + label + L"]";
    SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    if (spec == drive_) SendMessageW(hwnd_, CB_SETCURSEL, specs_.size(), 0);
    specs_.push_back(spec);
  }
}

void W32DriveList::setDrive(std::string_view spec) {
  const std::string drive = driveOf(spec);
  if (!driveExists(drive)) throw RuntimeError(err::kDeviceUnavailable, spec);
  if (drive == drive_) return;
  drive_ = drive;
  fill();
  if (Change) Change();
}

void W32DriveList::onSelChange() {
  const auto index = SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
  if (index < 0 || index >= static_cast<LRESULT>(specs_.size())) return;
  const std::string spec = specs_[static_cast<std::size_t>(index)];
  form_.backend().dispatch([this, spec] { setDrive(spec); });
}

// ---- folder list ----------------------------------------------------------------------

W32DirList::W32DirList(W32Form& form, HWND hwnd) : form_(form), hwnd_(hwnd) {
  wchar_t cwd[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
  const std::wstring folder = fullPath(std::wstring(cwd, n));
  path_ = narrow(folder);
  try {
    fill(subfoldersOf(folder));
  } catch (const RuntimeError&) {
    fill({});
  }
}

// "X:" stands for the current folder of drive X.
void W32DirList::setPath(std::string_view path) {
  const std::string drive = driveOf(path);
  if (drive.empty() && path.empty()) throw RuntimeError(err::kPathNotFound, path);
  std::wstring target = fullPath(widen(path.size() == 2 && !drive.empty() ? drive : std::string(path)));
  const std::wstring root = target.substr(0, 3);
  if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR)
    throw RuntimeError(err::kDeviceUnavailable, path);
  const DWORD attrs = GetFileAttributesW(target.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    throw RuntimeError(code == ERROR_NOT_READY ? err::kDiskNotReady
                       : code == ERROR_FILE_NOT_FOUND ? err::kPathNotFound
                                                      : errorNumberFromWin32(code),
                       path);
  }
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) throw RuntimeError(err::kPathNotFound, path);
  std::vector<std::wstring> subfolders = subfoldersOf(target);
  const std::string now = narrow(target);
  if (now == path_) return;
  path_ = now;
  fill(subfolders);
  if (Change) Change();
}

// Each entry is indented two spaces per level below the root.
void W32DirList::fill(const std::vector<std::wstring>& subfolders) {
  SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  paths_.clear();
  const std::wstring folder = widen(path_);
  std::vector<std::pair<std::wstring, std::wstring>> chain;  // (name, full path)
  chain.emplace_back(folder.substr(0, 3), folder.substr(0, 3));
  for (std::size_t i = 3; i < folder.size();) {
    std::size_t end = folder.find(L'\\', i);
    if (end == std::wstring::npos) end = folder.size();
    chain.emplace_back(folder.substr(i, end - i), folder.substr(0, end));
    i = end + 1;
  }
  auto add = [&](std::size_t level, const std::wstring& name, const std::wstring& full) {
    const std::wstring item = std::wstring(level * 2, L' ') + name;
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    paths_.push_back(narrow(full));
  };
  for (std::size_t level = 0; level < chain.size(); ++level)
    add(level, chain[level].first, chain[level].second);
  const std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
  for (const std::wstring& name : subfolders) add(chain.size(), name, base + name);
  SendMessageW(hwnd_, LB_SETCURSEL, chain.size() - 1, 0);
}

void W32DirList::openSelected() {
  const auto index = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
  if (index < 0 || index >= static_cast<LRESULT>(paths_.size())) return;
  const std::string target = paths_[static_cast<std::size_t>(index)];
  form_.backend().dispatch([this, target] { setPath(target); });
}

}  // namespace qm::win32
