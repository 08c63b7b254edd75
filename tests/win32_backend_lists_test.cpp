// The Win32 backend's lists and services under Wine: drives, folders, programs started,
// the clipboard and the mouse pointer.
#include <algorithm>
#include <string>
#include <vector>

#include "os/win32/wide.h"
#include "win32_backend_fixture.h"

namespace qm::win32 {
namespace {

TEST_F(Win32BackendTest, DriveListTakesOnlyExistingDrives) {
  W32Form& form = make(testLayout());
  DriveListBox& list = form.driveList("Drive1");
  int changes = 0;
  list.Change = [&] { ++changes; };
  const DWORD mask = GetLogicalDrives();
  ASSERT_TRUE(mask & (1u << ('C' - 'A')));
  char missing = 0;
  for (char d = 'Q'; d <= 'Y' && !missing; ++d)
    if (!(mask & (1u << (d - 'A')))) missing = d;
  ASSERT_NE(missing, 0);
  EXPECT_EQ(errorOf([&] { list.setDrive(std::string{missing, ':'}); }), err::kDeviceUnavailable);
  list.setDrive("c:");
  EXPECT_EQ(list.drive(), "C:");
  const int after = changes;
  list.setDrive("C:\\Windows");
  EXPECT_EQ(changes, after);
  EXPECT_EQ(errorOf([&] { list.setDrive(""); }), err::kDeviceUnavailable);
}

TEST_F(Win32BackendTest, FolderListShowsAncestorsFolderAndSubfolders) {
  W32Form& form = make(testLayout());
  DirListBox& list = form.dirList("Dir1");
  const std::wstring base = L"C:\\qm-dir-test";
  for (const wchar_t* p : {L"", L"\\元", L"\\元\\b", L"\\元\\a"})
    CreateDirectoryW((base + p).c_str(), nullptr);
  int changes = 0;
  list.Change = [&] { ++changes; };
  list.setPath("C:\\qm-dir-test\\元\\");
  EXPECT_EQ(list.path(), "C:\\qm-dir-test\\元");
  EXPECT_EQ(changes, 1);
  list.setPath("C:\\qm-dir-test\\元");
  EXPECT_EQ(changes, 1);
  std::vector<std::string> items;
  HWND h = form.control("Dir1");
  for (int i = 0; i < SendMessageW(h, LB_GETCOUNT, 0, 0); ++i) {
    wchar_t buf[MAX_PATH];
    SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
    items.push_back(narrow(buf));
  }
  const std::vector<std::string> expected{"C:\\", "  qm-dir-test", "    元", "      a", "      b"};
  EXPECT_EQ(items, expected);
  EXPECT_EQ(SendMessageW(h, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(errorOf([&] { list.setPath("C:\\qm-dir-test\\none"); }), err::kPathNotFound);
  for (const wchar_t* p : {L"\\元\\a", L"\\元\\b", L"\\元", L""})
    RemoveDirectoryW((base + p).c_str());
}

// Regression: a folder deeper than a fixed path buffer ended the picker with error 52.
TEST_F(Win32BackendTest, FolderListOpensFoldersPastTheOldPathLimit) {
  W32Form& form = make(testLayout());
  DirListBox& list = form.dirList("Dir1");
  const std::wstring segment(40, L'深');
  std::wstring deep = L"C:\\qm-deep-test";
  std::vector<std::wstring> made{deep};
  while (deep.size() < 600) made.push_back(deep += L"\\" + segment);
  made.push_back(deep + L"\\下");
  for (const std::wstring& folder : made) CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
  list.setPath(narrow(deep));
  EXPECT_EQ(list.path(), narrow(deep));
  HWND h = form.control("Dir1");
  const int count = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
  ASSERT_GT(count, 2);
  std::wstring last(static_cast<std::size_t>(SendMessageW(h, LB_GETTEXTLEN, count - 1, 0)), L'\0');
  SendMessageW(h, LB_GETTEXT, count - 1, reinterpret_cast<LPARAM>(last.data()));
  EXPECT_EQ(last.substr(last.find_first_not_of(L' ')), L"下");
  // Regression: past about 20 levels the indent pushed the names out of sight. It stops
  // growing after eight levels; the subfolder still stands one level below its folder.
  std::vector<std::size_t> indents;
  for (int i = 0; i < count; ++i) {
    std::wstring item(static_cast<std::size_t>(SendMessageW(h, LB_GETTEXTLEN, i, 0)), L'\0');
    SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    indents.push_back(item.find_first_not_of(L' '));
  }
  EXPECT_GT(count, 12) << "not deep enough to show the bound";
  EXPECT_EQ(*std::max_element(indents.begin(), indents.end() - 1), 16u);
  EXPECT_EQ(indents.back(), 18u);
  // The user opens the subfolder: double-click on the selected entry.
  SendMessageW(h, LB_SETCURSEL, count - 1, 0);
  SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), LBN_DBLCLK),
               reinterpret_cast<LPARAM>(h));
  EXPECT_EQ(list.path(), narrow(deep + L"\\下"));
  for (auto it = made.rbegin(); it != made.rend(); ++it)
    RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
}

TEST_F(Win32BackendTest, ADriveSpecShowsThatDrivesCurrentFolder) {
  W32Form& form = make(testLayout());
  wchar_t buf[MAX_PATH];
  GetFullPathNameW(L"C:", MAX_PATH, buf, nullptr);
  std::string expected = narrow(buf);
  if (expected.size() > 3 && expected.back() == '\\') expected.pop_back();
  form.dirList("Dir1").setPath("C:");
  EXPECT_EQ(form.dirList("Dir1").path(), expected);
}

TEST_F(Win32BackendTest, StartingAMissingProgramIsError53) {
  EXPECT_EQ(errorOf([&] { ui->startProgram("QMS (no such program).exe", kNormalFocus); }),
            err::kFileNotFound);
}

TEST_F(Win32BackendTest, StartsAProgramFoundInTheCurrentFolder) {
  wchar_t sys[MAX_PATH], old[MAX_PATH];
  GetSystemDirectoryW(sys, MAX_PATH);
  GetCurrentDirectoryW(MAX_PATH, old);
  SetCurrentDirectoryW(sys);
  EXPECT_EQ(errorOf([&] { ui->startProgram("hostname.exe", kNormalFocus); }), 0);
  SetCurrentDirectoryW(old);
}

TEST_F(Win32BackendTest, ClipboardHoldsUnicodeText) {
  ui->setClipboardText("作者 <author@example.jp>");
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  const std::string text = narrow(static_cast<const wchar_t*>(GlobalLock(data)));
  GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(text, "作者 <author@example.jp>");
}

TEST_F(Win32BackendTest, HourglassIsShownOverTheWindowsWhileSet) {
  W32Form& form = make(testLayout());
  ui->setMousePointer(kPointerHourglass);
  EXPECT_EQ(SendMessageW(form.hwnd(), WM_SETCURSOR, (WPARAM)form.control("txtA"),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  ui->setMousePointer(kPointerDefault);
  SendMessageW(form.hwnd(), WM_SETCURSOR, (WPARAM)form.hwnd(), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
}

}  // namespace
}  // namespace qm::win32
