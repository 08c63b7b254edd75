// A Win32 top-level window: created from its layout table, its messages routed to handlers.
#include "form_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "backend_win32.h"
#include "tooltip_win32.h"
#include "errors.h"
#include "os/win32/wide.h"
#include "ui/form_rules.h"

namespace qm::win32 {
namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* form = reinterpret_cast<W32Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    form->destroyed();
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  return form->handle(hwnd, msg, wParam, lParam);
}

HICON loadIcon(WindowIcon icon, int size) {
  const int id = icon == WindowIcon::CopyTool ? 1 : 2;
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace

const wchar_t* formClassName() {
  static const wchar_t* name = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = formProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"QmForm";
    RegisterClassExW(&wc);
    return L"QmForm";
  }();
  return name;
}

W32Form::W32Form(Win32Backend& backend, const FormLayout& layout)
    : FormCore(backend, layout), w32Backend_(backend) {
  createWindow();
  createControls();
  w32Backend_.forms().add(this);
}

W32Form::~W32Form() {
  w32Backend_.forms().remove(this);
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

namespace {

// The dpi of the monitor that shows `hwnd` where the system tells it per window (Windows
// 10 1607 on), else the system's own.
int windowDpi(HWND hwnd, int systemDpi) {
  using GetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto get = reinterpret_cast<GetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const UINT dpi = get && hwnd ? get(hwnd) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : systemDpi;
}

// A system metric at `dpi` where the system tells it per dpi (Windows 10 1607 on), else
// the system's own scaled from it.
int metricForDpi(int index, int dpi) {
  using GetSystemMetricsForDpi = int(WINAPI*)(int, UINT);
  static const auto get = reinterpret_cast<GetSystemMetricsForDpi>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
  if (get) return get(index, static_cast<UINT>(dpi));
  HDC screen = GetDC(nullptr);
  const int systemDpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return MulDiv(GetSystemMetrics(index), dpi, systemDpi > 0 ? systemDpi : 96);
}

// The room a drive list's dropped-down list takes below it, in pixels at 96 dpi.
constexpr int kDropDownRoom = 200;

}  // namespace

// The layout gives the client area; the frame is added around it. The window is made at
// the system's dpi, then laid out again at its monitor's where that differs.
void W32Form::createWindow() {
  const int dpi = w32Backend_.dpi();
  RECT rc{0, 0, twipsToPixels(layout().clientWidth, dpi),
          twipsToPixels(layout().clientHeight, dpi)};
  AdjustWindowRectEx(&rc, kFormStyle, FALSE, 0);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (layout().startUp == StartUpPosition::CenterScreen) {
    x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  }
  hwnd_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, formClassName(), widen(layout().caption).c_str(),
                      kFormStyle, x, y, w, h, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd_) throw RuntimeError(err::kInvalidCall, layout().name);
  dpi_ = windowDpi(hwnd_, dpi);
  if (dpi_ != dpi) fitClientArea();
  setIcons();
  toolTip_ = createToolTip(hwnd_);
}

// Children are made in tab order, since the dialog manager tabs in creation order. The
// tables' overlapping pairs (a hidden box beneath a button) agree with that order, so
// the stacking comes out as designed.
void W32Form::createControls() {
  int id = kFirstControlId;
  buildControls([this, &id](const ControlRow& row) {
    HWND child = createChild(row, id);
    handles_[std::string(row.name)] = child;
    if (!row.toolTip.empty()) addToolTip(child, row.toolTip);
    return wrap(row, child, id++);
  });
  nameForScreenReaders();
}

// Screen readers call a control by the label just before it in z-order: each text box's
// and list's label is put there; a list without one gets a label of its own, of no size.
void W32Form::nameForScreenReaders() {
  for (const ControlRow& row : layout().controls) {
    const std::string name = accessibleNameOf(layout(), row);
    if (name.empty()) continue;
    HWND control = handles_.at(std::string(row.name));
    HWND label = nullptr;
    if (const ControlRow* labelRow = labelOf(layout(), row)) {
      label = handles_.at(std::string(labelRow->name));
    } else {
      label =
          CreateWindowExW(0, L"STATIC", widen(name).c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0,
                          0, 0, 0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    HWND before = GetWindow(control, GW_HWNDPREV);
    if (!label || before == label) continue;
    SetWindowPos(label, before ? before : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  }
}

// The control behind a child window, kept by its id for the notices it handles.
std::unique_ptr<Control> W32Form::wrap(const ControlRow& row, HWND child, int id) {
  const auto keep = [this, id](auto control) -> std::unique_ptr<Control> {
    children_[id] = control.get();
    return control;
  };
  switch (row.type) {
    case ControlType::Label: return keep(std::make_unique<W32Label>(*this, row, child));
    case ControlType::CommandButton: return keep(std::make_unique<W32Button>(*this, row, child));
    case ControlType::TextBox: return keep(std::make_unique<W32TextBox>(*this, row, child));
    case ControlType::DriveListBox: return keep(std::make_unique<W32DriveList>(*this, row, child));
    case ControlType::DirListBox: return keep(std::make_unique<W32DirList>(*this, row, child));
  }
  return nullptr;
}

HWND W32Form::createChild(const ControlRow& row, int id) {
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD ex = 0;
  switch (row.type) {
    case ControlType::Label:
      style |= SS_NOTIFY | SS_LEFT | ((row.other & kBorder) ? WS_BORDER : 0) |
               (showsAccessKey(row) ? 0 : SS_NOPREFIX);
      break;
    case ControlType::CommandButton:
      cls = L"BUTTON";
      style |= WS_TABSTOP | BS_NOTIFY | ((row.other & kDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
    case ControlType::TextBox:
      cls = L"EDIT";
      style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
      ex = WS_EX_CLIENTEDGE;
      break;
    case ControlType::DriveListBox:
      cls = L"COMBOBOX";
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      break;
    case ControlType::DirListBox:
      cls = L"LISTBOX";
      style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
      ex = WS_EX_CLIENTEDGE;
      break;
  }
  const std::wstring text = row.type == ControlType::CommandButton ? widen(row.caption) : L"";
  const RECT at = childRect(row);
  HWND child = CreateWindowExW(
      ex, cls, text.c_str(), style, at.left, at.top, at.right - at.left, at.bottom - at.top, hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (!child) throw RuntimeError(err::kInvalidCall, row.name);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(w32Backend_.font(row.font, dpi_)),
               FALSE);
  return child;
}

// Where a control stands at the window's dpi, from its twips.
RECT W32Form::childRect(const ControlRow& row) const {
  const int left = twipsToPixels(row.left, dpi_), top = twipsToPixels(row.top, dpi_);
  int height = twipsToPixels(row.height, dpi_);
  if (row.type == ControlType::DriveListBox) height += MulDiv(kDropDownRoom, dpi_, 96);
  return RECT{left, top, left + twipsToPixels(row.width, dpi_), top + height};
}

// The window's client area as the layout gives it at the window's dpi, the frame around.
void W32Form::fitClientArea() {
  RECT rc{0, 0, twipsToPixels(layout().clientWidth, dpi_),
          twipsToPixels(layout().clientHeight, dpi_)};
  AdjustWindowRectEx(&rc, kFormStyle, FALSE, 0);
  SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window's icons at the sizes of its dpi (the nearest the resources hold).
void W32Form::setIcons() {
  const int big = metricForDpi(SM_CXICON, dpi_), small = metricForDpi(SM_CXSMICON, dpi_);
  if (HICON i = loadIcon(layout().icon, big)) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, (LPARAM)i);
  if (HICON i = loadIcon(layout().icon, small))
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, (LPARAM)i);
}

// The window moved to a monitor of another dpi: it takes the rectangle the system
// suggests, and every control its place, size and font at the new dpi.
void W32Form::changeDpi(int dpi, const RECT& suggested) {
  dpi_ = dpi;
  setIcons();
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (const ControlRow& row : layout().controls) {
    HWND child = control(row.name);
    if (!child) continue;
    const RECT at = childRect(row);
    SetWindowPos(child, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(w32Backend_.font(row.font, dpi_)),
                 TRUE);
    if (row.type == ControlType::Label) FormCore::control<W32Label>(row.name).fit();
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void W32Form::addToolTip(HWND child, std::string_view text) {
  addTool(toolTip_, hwnd_, child, text);
}

void W32Form::changeToolTip(HWND child, std::string_view text) {
  changeTool(toolTip_, hwnd_, child, text);
}

void W32Form::showWindow(bool again) {
  if (!hwnd_) return;
  if (again) {
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
    BringWindowToTop(hwnd_);
    return;
  }
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
}

void W32Form::close() {
  markClosed();
  if (hwnd_) DestroyWindow(hwnd_);
}

void W32Form::destroyed() {
  hwnd_ = nullptr;
  markClosed();
  w32Backend_.formDestroyed();
}

void W32Form::moveFocus(std::string_view name) {
  if (HWND h = control(name); h && GetFocus() != h) SetFocus(h);
}

// A window that comes to the front again gives the focus back to the control that had
// it, as the user left it (after a message box, a closed picker, a switch of windows).
void W32Form::restoreFocus() {
  HWND h = control(focused());
  if (h && IsWindowEnabled(h)) SetFocus(h);
}

bool W32Form::preTranslate(const MSG& msg) {
  switch (msg.message) {
    case WM_CHAR: DispatchMessageW(&msg); return true;
    case WM_SYSCHAR: return pressAccessKey(msg.wParam);
    case WM_KEYDOWN:
      if (msg.wParam != VK_RETURN) return false;
      for (const ControlRow& row : layout().controls)
        if (row.type == ControlType::DirListBox && control(row.name) == msg.hwnd) {
          FormCore::control<W32DirList>(row.name).openSelected();
          return true;
        }
      return false;
    default: return false;
  }
}

// Alt + an access key presses that button, leaving the focus where it is, or moves the
// focus past that label with the next box's text selected. Other keys go on to the
// system (a beep, the window menu).
bool W32Form::pressAccessKey(WPARAM key) {
  if (key > 0x7F) return false;
  const ControlRow* row = accessKeyControl(layout(), static_cast<char>(key));
  if (!row) return false;
  if (row->type == ControlType::CommandButton) {
    CommandButton& b = button(row->name);
    backend_.dispatch([&b] {
      if (b.Click) b.Click();
    });
  } else if (HWND h = control(row->name)) {
    SetFocus(h);
    if (row->type == ControlType::TextBox) SendMessageW(h, EM_SETSEL, 0, -1);
  }
  return true;
}

// Enter presses the focused button, else the default button of the table.
LRESULT W32Form::defaultButtonId() const {
  std::string focus;
  for (const auto& [name, h] : handles_)
    if (h == GetFocus()) focus = name;
  const ControlRow* target = enterTarget(layout(), focus);
  return target ? MAKELRESULT(GetDlgCtrlID(control(target->name)), DC_HASDEFID) : 0;
}

void W32Form::onMouseMove(WPARAM wParam, LPARAM lParam) {
  const int button = ((wParam & MK_LBUTTON) ? 1 : 0) | ((wParam & MK_RBUTTON) ? 2 : 0) |
                     ((wParam & MK_MBUTTON) ? 4 : 0);
  const int shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0) |
                    (GetKeyState(VK_MENU) < 0 ? 4 : 0);
  const float x = static_cast<short>(LOWORD(lParam)) * 1440.0f / dpi_;
  const float y = static_cast<short>(HIWORD(lParam)) * 1440.0f / dpi_;
  backend_.dispatch([&] {
    if (MouseMove) MouseMove(button, shift, x, y);
  });
}

LRESULT W32Form::handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND: {
      auto it = children_.find(LOWORD(wParam));
      if (it != children_.end() && lParam) it->second->onCommand(HIWORD(wParam));
      return 0;
    }
    case DM_GETDEFID: return defaultButtonId();
    case WM_MOUSEMOVE: onMouseMove(wParam, lParam); return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam) && !focused().empty()) {
        restoreFocus();
        return 0;
      }
      break;
    case WM_SETFOCUS: restoreFocus(); return 0;
    case WM_DPICHANGED: changeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_SETCURSOR:
      if (w32Backend_.pointer() == kPointerHourglass) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      backend_.dispatch([this] {
        close();
        if (Closed) Closed();
      });
      return 0;
    default: break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace qm::win32
