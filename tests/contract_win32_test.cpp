// The control contract on the Win32 backend under Wine, with its scratch tree on drive C:.
// Keys are posted to the focused control and delivered through the backend's own loop.
#include <windows.h>

#include "contract_suite_windows.h"
#include "os/win32/wide.h"
#include "ui/app.h"
#include "ui/form_rules.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/form_win32.h"

namespace qm::contract {
namespace {

using win32::narrow;
using win32::W32Form;
using win32::widen;

// Keys for the next message box, pressed by a timer that runs inside the box's own loop.
std::vector<int> boxKeys;

BOOL CALLBACK findBox(HWND h, LPARAM out) {
  wchar_t cls[16];
  GetClassNameW(h, cls, 16);
  if (!IsWindowVisible(h) || std::wstring(cls) != L"#32770") return TRUE;
  *reinterpret_cast<HWND*>(out) = h;
  return FALSE;
}

void CALLBACK pressBoxKeys(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findBox, reinterpret_cast<LPARAM>(&box));
  if (!box) return;
  KillTimer(nullptr, timer);
  for (int k : boxKeys) {
    if (k == kEscape)
      PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
    else
      PostMessageW(GetDlgItem(box, k), BM_CLICK, 0, 0);
  }
}

class Win32Driver {
 public:
  Win32Driver() {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    ui_ = createBackend(argc, argv, "QM(Quillmar)");
    // The last window of an earlier test left the quit message that ends a program; a
    // message box shown while it is queued would end at once.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    scratch_ = "C:\\qm-contract-" + std::to_string(GetCurrentProcessId());
    for (const char* sub : {"", "\\a", "\\b", "\\日本語"})
      CreateDirectoryW(widen(scratch_ + sub).c_str(), nullptr);
  }
  ~Win32Driver() {
    forms_.clear();
    for (const char* sub : {"\\a", "\\b", "\\日本語", ""})
      RemoveDirectoryW(widen(scratch_ + sub).c_str());
  }
  Backend& ui() { return *ui_; }
  Form& make(const FormLayout& layout) { return forms_.make(*ui_, layout); }
  Form& show(const FormLayout& layout) {
    Form& f = make(layout);
    f.show();
    pump();
    return f;
  }
  // As a paste does: the whole text replaced in one edit.
  void type(Form& f, std::string_view box, std::string_view text) {
    HWND h = w(f).control(box);
    SendMessageW(h, EM_SETSEL, 0, -1);
    SendMessageW(h, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(widen(text).c_str()));
    pump();
  }
  void tab(Form&) { post(WM_KEYDOWN, VK_TAB, 1); }
  void enter(Form&) { post(WM_KEYDOWN, VK_RETURN, 1); }
  void key(Form&, char c) { post(WM_CHAR, static_cast<WPARAM>(c), 1); }
  void altKey(Form&, char c) { post(WM_SYSCHAR, static_cast<WPARAM>(c), 1 | (1 << 29)); }
  void click(Form& f, std::string_view button) {
    SendMessageW(w(f).control(button), BM_CLICK, 0, 0);
    pump();
  }
  void closeByFrame(Form& f) { SendMessageW(w(f).hwnd(), WM_CLOSE, 0, 0); }
  // The move goes to the child under the pointer, as the system routes it; a child that
  // lets the pointer through (HTTRANSPARENT) leaves it to the window.
  void moveMouse(Form& f, int x, int y) {
    const int dpi = static_cast<win32::Win32Backend&>(*ui_).dpi();
    POINT at{twipsToPixels(x, dpi), twipsToPixels(y, dpi)};
    HWND target = ChildWindowFromPointEx(w(f).hwnd(), at, CWP_SKIPINVISIBLE);
    POINT screen = at;
    ClientToScreen(w(f).hwnd(), &screen);
    if (!target ||
        SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)) == HTTRANSPARENT)
      target = w(f).hwnd();
    MapWindowPoints(w(f).hwnd(), target, &at, 1);
    SendMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
  }
  std::string focused(Form& f) {
    for (const ControlRow& row : w(f).layout().controls)
      if (w(f).control(row.name) == GetFocus()) return std::string(row.name);
    return {};
  }
  // A STATIC draws "&" as an access key unless it has SS_NOPREFIX.
  std::string shownCaption(Form& f, std::string_view label) {
    HWND h = w(f).control(label);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
    return qm::shownCaption(narrow(text), !(GetWindowLongW(h, GWL_STYLE) & SS_NOPREFIX));
  }
  void onNextBox(std::vector<int> keys) {
    boxKeys = std::move(keys);
    SetTimer(nullptr, 0, 20, pressBoxKeys);
  }
  std::string startDrive() { return driveSpecOf(narrow(fullPath(L"."))); }
  std::string otherDrive() { return startDrive() == "C:" ? "Z:" : "C:"; }
  std::string missingDrive() {
    for (char d = 'Q'; d <= 'Y'; ++d)
      if (!(GetLogicalDrives() & (1u << (d - 'A')))) return {d, ':'};
    return "";
  }
  std::string driveFolder(const std::string& spec) { return narrow(fullPath(widen(spec))); }
  std::string scratch() { return scratch_; }
  std::string child(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
  }
  std::vector<std::string> subfolders(Form& f, std::string_view list) {
    std::vector<std::string> names;
    HWND h = w(f).control(list);
    const int count = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
    for (int i = static_cast<int>(SendMessageW(h, LB_GETCURSEL, 0, 0)) + 1; i < count; ++i) {
      std::wstring item(static_cast<std::size_t>(SendMessageW(h, LB_GETTEXTLEN, i, 0)), L'\0');
      SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
      names.push_back(narrow(item.substr(item.find_first_not_of(L' '))));
    }
    return names;
  }
  void vanish(const std::string& folder) { RemoveDirectoryW(widen(folder).c_str()); }
  void open(Form& f, std::string_view list, std::string_view name) {
    const std::vector<std::string> names = subfolders(f, list);
    HWND h = w(f).control(list);
    const auto at = std::find(names.begin(), names.end(), name) - names.begin();
    SendMessageW(h, LB_SETCURSEL, SendMessageW(h, LB_GETCURSEL, 0, 0) + 1 + at, 0);
    notify(f, h, LBN_DBLCLK);
  }
  void pick(Form& f, std::string_view list, std::string_view spec) {
    HWND h = w(f).control(list);
    SendMessageW(h, CB_SETCURSEL,
                 SendMessageW(h, CB_FINDSTRING, -1, reinterpret_cast<LPARAM>(widen(spec).c_str())),
                 0);
    notify(f, h, CBN_SELCHANGE);
  }

 private:
  static W32Form& w(Form& f) { return static_cast<W32Form&>(f); }
  void pump() { static_cast<win32::Win32Backend&>(*ui_).pumpPending(); }
  void post(UINT msg, WPARAM wParam, LPARAM lParam) {
    PostMessageW(GetFocus(), msg, wParam, lParam);
    pump();
  }
  void notify(Form& f, HWND control, WORD code) {
    SendMessageW(w(f).hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                 reinterpret_cast<LPARAM>(control));
    pump();
  }
  // A path made absolute, without a trailing separator unless it is a drive root.
  static std::wstring fullPath(const std::wstring& path) {
    std::wstring out(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    out.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(out.size()), out.data(), nullptr));
    if (out.size() > 3 && out.back() == L'\\') out.pop_back();
    return out;
  }

  std::unique_ptr<Backend> ui_;
  DriverForms forms_;
  std::string scratch_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ControlContract, Win32Driver);

}  // namespace
}  // namespace qm::contract
