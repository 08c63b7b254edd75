// The drive list (a drop-down of "C:" drives) and the folder list (a list box tree).
#include <algorithm>

#include "backend_win32.h"
#include "controls_win32.h"
#include "errors.h"
#include "form_win32.h"
#include "os/win32/drives.h"
#include "os/win32/wide.h"
#include "ui/form_rules.h"

namespace qm::win32 {

// ---- drive list -----------------------------------------------------------------------

// The list starts on the drive of the current folder, else on the first drive.
W32DriveList::W32DriveList(W32Form& form, const ControlRow& row, HWND hwnd)
    : DriveListCore(form.backend()), W32Control(form, row, hwnd) {
  std::string start = driveSpecOf(narrow(currentFolder()));
  if (!driveExists(start)) {
    const std::vector<std::string> specs = driveSpecs();
    start = specs.empty() ? std::string() : specs.front();
  }
  startOn(start);
  fill(start);
}

void W32DriveList::fill(const std::string& selected) {
  SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
  specs_ = driveSpecs();
  for (std::size_t i = 0; i < specs_.size(); ++i) {
    SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(driveCaption(specs_[i]).c_str()));
    if (specs_[i] == selected) SendMessageW(hwnd_, CB_SETCURSEL, i, 0);
  }
}

std::string W32DriveList::selectDrive(std::string_view spec) {
  const std::string drive = driveSpecOf(spec);
  if (!driveExists(drive)) throw RuntimeError(err::kDeviceUnavailable, spec);
  fill(drive);
  return drive;
}

void W32DriveList::onCommand(WORD code) {
  if (code == CBN_SELCHANGE) onSelChange();
  focusNotice(code, CBN_SETFOCUS);
}

void W32DriveList::onSelChange() {
  const auto index = SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
  if (index >= 0 && index < static_cast<LRESULT>(specs_.size()))
    userPicked(specs_[static_cast<std::size_t>(index)]);
}

// ---- folder list ----------------------------------------------------------------------

// The list starts on the current folder; one that cannot be listed shows no subfolders.
W32DirList::W32DirList(W32Form& form, const ControlRow& row, HWND hwnd)
    : DirListCore(form.backend()), W32Control(form, row, hwnd) {
  const std::wstring folder = currentFolder();
  startAt(narrow(folder));
  try {
    fill(folder, subfoldersOf(folder));
  } catch (const RuntimeError&) {
    fill(folder, {});
  }
}

std::string W32DirList::openFolder(std::string_view path) {
  const std::wstring folder = folderOf(path);
  fill(folder, subfoldersOf(folder));
  return narrow(folder);
}

// Each entry is indented two spaces per level below the root, up to kMaxIndentLevels, so
// that the names of deep folders stay in sight; the subfolders always one level more
// than the folder shown.
constexpr std::size_t kMaxIndentLevels = 8;

void W32DirList::fill(const std::wstring& folder, const std::vector<std::wstring>& subfolders) {
  SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  paths_.clear();
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
    add(std::min(level, kMaxIndentLevels), chain[level].first, chain[level].second);
  const std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
  const std::size_t below = std::min(chain.size() - 1, kMaxIndentLevels) + 1;
  for (const std::wstring& name : subfolders) add(below, name, base + name);
  SendMessageW(hwnd_, LB_SETCURSEL, chain.size() - 1, 0);
}

void W32DirList::onCommand(WORD code) {
  if (code == LBN_DBLCLK) openSelected();
  focusNotice(code, LBN_SETFOCUS);
}

void W32DirList::openSelected() {
  const auto index = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
  if (index >= 0 && index < static_cast<LRESULT>(paths_.size()))
    userOpened(paths_[static_cast<std::size_t>(index)]);
}

}  // namespace qm::win32
