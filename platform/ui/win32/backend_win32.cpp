// The Win32 backend: forms, fonts, message boxes, pointer, clipboard, program start, loop.
#include "backend_win32.h"

#include <cmath>

#include "errors.h"
#include "form_win32.h"
#include "msgbox_win32.h"
#include "progress_win32.h"
#include "os/win32/wide.h"

namespace qm::win32 {
Win32Backend::Win32Backend(std::string appTitle) : Backend(std::move(appTitle)) {
  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;
  clipboardOwner_ = CreateWindowExW(0, formClassName(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
}

Win32Backend::~Win32Backend() {
  if (clipboardOwner_) DestroyWindow(clipboardOwner_);
  for (auto& [key, font] : fonts_) DeleteObject(font);
}

std::unique_ptr<Form> Win32Backend::createForm(const FormLayout& layout) {
  return std::make_unique<W32Form>(*this, layout);
}

HFONT Win32Backend::font(const Font& f) {
  return font(f, dpi_);
}

HFONT Win32Backend::font(const Font& f, int dpi) {
  if (f.points <= 0) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const FontKey key{std::lround(f.points * 100), f.bold, dpi};
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  const int height = fontPixelHeight(f.points, dpi);
  HFONT made = CreateFontW(height, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                           SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ Ｐゴシック");
  if (!made) made = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_[key] = made;
  return made;
}

void Win32Backend::formDestroyed() {
  if (forms_.open().empty()) PostQuitMessage(0);
}

// Modal to the whole program: the program's other windows take no input meanwhile.
int Win32Backend::messageBox(std::string_view text, int style, std::string_view title) {
  HWND owner = GetActiveWindow();
  std::vector<HWND> disabled;
  for (W32Form* f : forms_.all())
    if (f->hwnd() && f->hwnd() != owner && IsWindowEnabled(f->hwnd())) {
      EnableWindow(f->hwnd(), FALSE);
      disabled.push_back(f->hwnd());
    }
  const int answer = showMessageBox(owner, text, style, title);
  for (HWND h : disabled)
    if (IsWindow(h)) EnableWindow(h, TRUE);
  return answer;
}

// The forms answer WM_SETCURSOR with the hourglass while it is set.
void Win32Backend::setMousePointer(int pointer) {
  pointer_ = pointer;
  SetCursor(LoadCursorW(nullptr, pointer == kPointerHourglass ? IDC_WAIT : IDC_ARROW));
}

void Win32Backend::setClipboardText(std::string_view text) {
  const std::wstring wide = widen(text);
  bool opened = false;
  for (int attempt = 0; attempt < 10 && !(opened = OpenClipboard(clipboardOwner_)); ++attempt)
    Sleep(20);
  if (!opened) throw RuntimeError(err::kClipboardBusy);
  EmptyClipboard();
  const SIZE_T bytes = (wide.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    memcpy(GlobalLock(mem), wide.c_str(), bytes);
    GlobalUnlock(mem);
    if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
  }
  CloseClipboard();
}

void Win32Backend::run() {
  MSG msg;
  while (!ended() && GetMessageW(&msg, nullptr, 0, 0) > 0) deliver(msg);
}

void Win32Backend::pumpPending() {
  MSG msg;
  while (!ended() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    deliver(msg);
  }
}

void Win32Backend::deliver(MSG& msg) {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  for (W32Form* f : forms_.all())
    if (root && f->hwnd() == root && (f->preTranslate(msg) || IsDialogMessageW(root, &msg))) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32Backend::quit() {
  const std::vector<W32Form*> forms = forms_.all();
  for (W32Form* f : forms)
    if (f->isOpen()) f->close();
  PostQuitMessage(0);
}

}  // namespace qm::win32
