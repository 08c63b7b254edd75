// A Win32 top-level window: created from its layout table, its messages routed to handlers.
#include "form_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "backend_win32.h"
#include "errors.h"
#include "wide.h"

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

template <class Map>
auto& lookup(Map& map, std::string_view name) {
  auto it = map.find(name);
  if (it == map.end()) throw RuntimeError(err::kInvalidCall, name);
  return *it->second;
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
    : backend_(backend), layout_(layout) {
  createWindow();
  createControls();
  backend_.addForm(this);
}

W32Form::~W32Form() {
  backend_.removeForm(this);
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

// The layout gives the client area; the frame is added around it.
void W32Form::createWindow() {
  const int dpi = backend_.dpi();
  RECT rc{0, 0, twipsToPixels(layout_.clientWidth, dpi), twipsToPixels(layout_.clientHeight, dpi)};
  AdjustWindowRectEx(&rc, kFormStyle, FALSE, 0);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (layout_.startUp == StartUpPosition::CenterScreen) {
    x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  }
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, formClassName(), widen(layout_.caption).c_str(),
                          kFormStyle, x, y, w, h, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd_) throw RuntimeError(err::kInvalidCall, layout_.name);
  const int big = GetSystemMetrics(SM_CXICON), small = GetSystemMetrics(SM_CXSMICON);
  if (HICON i = loadIcon(layout_.icon, big)) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, (LPARAM)i);
  if (HICON i = loadIcon(layout_.icon, small)) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, (LPARAM)i);
  toolTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Children are made in tab order, since the dialog manager tabs in creation order. The
// tables' overlapping pairs (a hidden box beneath a button) agree with that order, so
// the stacking comes out as designed.
void W32Form::createControls() {
  std::vector<const ControlRow*> rows;
  for (const ControlRow& row : layout_.controls) rows.push_back(&row);
  std::stable_sort(rows.begin(), rows.end(),
                   [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
  int id = kFirstControlId;
  for (const ControlRow* row : rows) {
    HWND child = createChild(*row, id);
    const std::string name(row->name);
    handles_[name] = child;
    switch (row->type) {
      case ControlType::Label:
        labels_[name] = std::make_unique<W32Label>(*this, *row, child);
        labels_[name]->setCaption(row->caption);
        break;
      case ControlType::CommandButton: {
        auto* b = (buttons_[name] = std::make_unique<W32Button>(child)).get();
        commands_[id] = [this, b](WORD code) {
          if (code == BN_CLICKED) backend_.dispatch([b] { if (b->Click) b->Click(); });
        };
        break;
      }
      case ControlType::TextBox: {
        auto* t = (textBoxes_[name] = std::make_unique<W32TextBox>(*this, *row, child)).get();
        commands_[id] = [this, t](WORD code) {
          if (code == EN_CHANGE) t->onEditChange();
          if (code == EN_SETFOCUS) t->onSetFocus(programFocus_);
        };
        break;
      }
      case ControlType::DriveListBox: {
        auto* d = (drives_[name] = std::make_unique<W32DriveList>(*this, child)).get();
        commands_[id] = [d](WORD code) {
          if (code == CBN_SELCHANGE) d->onSelChange();
        };
        break;
      }
      case ControlType::DirListBox: {
        auto* d = (dirs_[name] = std::make_unique<W32DirList>(*this, child)).get();
        commands_[id] = [d](WORD code) {
          if (code == LBN_DBLCLK) d->openSelected();
        };
        break;
      }
    }
    if (!row->toolTip.empty()) addToolTip(child, row->toolTip);
    ++id;
  }
}

HWND W32Form::createChild(const ControlRow& row, int id) {
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD ex = 0;
  int extraHeight = 0;
  switch (row.type) {
    case ControlType::Label:
      style |= SS_NOTIFY | SS_LEFT | ((row.other & kBorder) ? WS_BORDER : 0);
      break;
    case ControlType::CommandButton:
      cls = L"BUTTON";
      style |= WS_TABSTOP | ((row.other & kDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
    case ControlType::TextBox:
      cls = L"EDIT";
      style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
      ex = WS_EX_CLIENTEDGE;
      break;
    case ControlType::DriveListBox:
      cls = L"COMBOBOX";
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      extraHeight = 200;  // room for the dropped-down list
      break;
    case ControlType::DirListBox:
      cls = L"LISTBOX";
      style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
      ex = WS_EX_CLIENTEDGE;
      break;
  }
  const int dpi = backend_.dpi();
  const std::wstring text = row.type == ControlType::CommandButton ? widen(row.caption) : L"";
  HWND child = CreateWindowExW(ex, cls, text.c_str(), style, twipsToPixels(row.left, dpi),
                               twipsToPixels(row.top, dpi), twipsToPixels(row.width, dpi),
                               twipsToPixels(row.height, dpi) + extraHeight, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
  if (!child) throw RuntimeError(err::kInvalidCall, row.name);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(backend_.font(row.font)), FALSE);
  return child;
}

void W32Form::addToolTip(HWND child, std::string_view text) {
  if (!toolTip_) return;
  std::wstring wide = widen(text);
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = hwnd_;
  ti.uId = reinterpret_cast<UINT_PTR>(child);
  ti.lpszText = wide.data();
  SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

Label& W32Form::label(std::string_view name) { return lookup(labels_, name); }
CommandButton& W32Form::button(std::string_view name) { return lookup(buttons_, name); }
TextBox& W32Form::textBox(std::string_view name) { return lookup(textBoxes_, name); }
DriveListBox& W32Form::driveList(std::string_view name) { return lookup(drives_, name); }
DirListBox& W32Form::dirList(std::string_view name) { return lookup(dirs_, name); }

void W32Form::show() {
  if (!hwnd_) return;
  if (shown_) {
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
    BringWindowToTop(hwnd_);
    return;
  }
  shown_ = true;
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
  // The control first in tab order that can take the focus receives it.
  const ControlRow* first = nullptr;
  for (const ControlRow& row : layout_.controls)
    if (row.type != ControlType::Label && (!first || row.tabIndex < first->tabIndex)) first = &row;
  if (first) setFocus(first->name);
}

void W32Form::close() {
  open_ = false;
  shown_ = false;
  if (hwnd_) DestroyWindow(hwnd_);
}

void W32Form::destroyed() {
  hwnd_ = nullptr;
  open_ = false;
  shown_ = false;
  backend_.formDestroyed();
}

// A program move of the focus raises GotFocus directly, so that an error thrown by the
// handler reaches the caller, as with the other setters.
void W32Form::setFocus(std::string_view name) {
  auto it = handles_.find(name);
  if (it == handles_.end()) throw RuntimeError(err::kInvalidCall, name);
  if (GetFocus() == it->second) return;
  programFocus_ = true;
  SetFocus(it->second);
  programFocus_ = false;
  if (auto t = textBoxes_.find(name); t != textBoxes_.end() && t->second->GotFocus)
    t->second->GotFocus();
}

bool W32Form::preTranslate(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN) return false;
  for (auto& [name, list] : dirs_)
    if (list->hwnd() == msg.hwnd) {
      list->openSelected();
      return true;
    }
  return false;
}

// Enter presses the focused button, else the default button of the table.
LRESULT W32Form::defaultButtonId() const {
  HWND focus = GetFocus();
  for (auto& [name, b] : buttons_)
    if (b->hwnd() == focus) return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
  for (const ControlRow& row : layout_.controls)
    if ((row.other & kDefault) && row.type == ControlType::CommandButton)
      return MAKELRESULT(GetDlgCtrlID(handles_.at(std::string(row.name))), DC_HASDEFID);
  return 0;
}

void W32Form::onMouseMove(WPARAM wParam, LPARAM lParam) {
  const int button = ((wParam & MK_LBUTTON) ? 1 : 0) | ((wParam & MK_RBUTTON) ? 2 : 0) |
                     ((wParam & MK_MBUTTON) ? 4 : 0);
  const int shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0) |
                    (GetKeyState(VK_MENU) < 0 ? 4 : 0);
  const float x = static_cast<short>(LOWORD(lParam)) * 1440.0f / backend_.dpi();
  const float y = static_cast<short>(HIWORD(lParam)) * 1440.0f / backend_.dpi();
  backend_.dispatch([&] {
    if (MouseMove) MouseMove(button, shift, x, y);
  });
}

LRESULT W32Form::handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND: {
      auto it = commands_.find(LOWORD(wParam));
      if (it != commands_.end() && lParam) it->second(HIWORD(wParam));
      return 0;
    }
    case DM_GETDEFID: return defaultButtonId();
    case WM_MOUSEMOVE: onMouseMove(wParam, lParam); return 0;
    case WM_SETCURSOR:
      if (backend_.pointer() == kPointerHourglass) {
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
