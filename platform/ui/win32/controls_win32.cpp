// Win32 labels and text boxes: captions, auto-size, change and focus events, selections.
#include "controls_win32.h"

#include <imm.h>

#include <algorithm>

#include "backend_win32.h"
#include "form_win32.h"
#include "wide.h"

namespace qm::win32 {
namespace {

std::wstring windowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

int utf16Index(std::wstring_view text, int codePoints) {
  int i = 0;
  for (int n = 0; n < codePoints && i < static_cast<int>(text.size()); ++n)
    i += isHighSurrogate(text[static_cast<std::size_t>(i)]) && i + 1 < static_cast<int>(text.size()) ? 2 : 1;
  return i;
}

int codePointIndex(std::wstring_view text, int utf16) {
  int n = 0;
  for (int i = 0; i < utf16 && i < static_cast<int>(text.size()); ++n)
    i += isHighSurrogate(text[static_cast<std::size_t>(i)]) && i + 1 < static_cast<int>(text.size()) ? 2 : 1;
  return n;
}

// ---- label ----------------------------------------------------------------------------

W32Label::W32Label(W32Form& form, const ControlRow& row, HWND hwnd)
    : form_(form), row_(row), hwnd_(hwnd) {}

void W32Label::setCaption(std::string_view caption) {
  caption_ = caption;
  SetWindowTextW(hwnd_, widen(caption).c_str());
  if (row_.other & kAutoSize) fitToText();
}

// An auto-sized label takes the size of its caption on one line, border included; an
// empty one keeps its design size.
void W32Label::fitToText() {
  const int dpi = form_.backend().dpi();
  int w = twipsToPixels(row_.width, dpi), h = twipsToPixels(row_.height, dpi);
  if (!caption_.empty()) {
    const std::wstring text = widen(caption_);
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, form_.backend().font(row_.font));
    RECT rc{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    const int border = (row_.other & kBorder) ? 2 * GetSystemMetrics(SM_CXBORDER) : 0;
    w = rc.right + border;
    h = rc.bottom + border;
  }
  SetWindowPos(hwnd_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(GetParent(hwnd_), nullptr, TRUE);
}

// ---- text box -------------------------------------------------------------------------

W32TextBox::W32TextBox(W32Form& form, const ControlRow& row, HWND hwnd)
    : form_(form), row_(row), hwnd_(hwnd) {}

// A program change raises Change directly, so that its errors reach the caller.
void W32TextBox::setText(std::string_view text) {
  const std::string kept(text.substr(0, text.find('\0')));
  if (kept == text_) return;
  text_ = kept;
  ++suppress_;
  SetWindowTextW(hwnd_, widen(kept).c_str());
  --suppress_;
  if (Change) Change();
}

// A user edit: raised through the dispatcher, and only when the text really changed.
void W32TextBox::onEditChange() {
  if (suppress_) return;
  std::string now = narrow(windowText(hwnd_));
  if (now == text_) return;
  text_ = std::move(now);
  form_.backend().dispatch([this] {
    if (Change) Change();
  });
}

void W32TextBox::onSetFocus(bool byProgram) {
  if (row_.other & kImeHiragana) {
    if (HIMC imc = ImmGetContext(hwnd_)) {
      DWORD conversion = 0, sentence = 0;
      ImmGetConversionStatus(imc, &conversion, &sentence);
      ImmSetOpenStatus(imc, TRUE);
      ImmSetConversionStatus(imc, IME_CMODE_NATIVE | IME_CMODE_FULLSHAPE, sentence);
      ImmReleaseContext(hwnd_, imc);
    }
  }
  if (byProgram) return;
  form_.backend().dispatch([this] {
    if (GotFocus) GotFocus();
  });
}

int W32TextBox::selStart() const {
  DWORD start = 0, end = 0;
  SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return codePointIndex(windowText(hwnd_), static_cast<int>(start));
}

int W32TextBox::selLength() const {
  DWORD start = 0, end = 0;
  SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const std::wstring text = windowText(hwnd_);
  return codePointIndex(text, static_cast<int>(end)) - codePointIndex(text, static_cast<int>(start));
}

void W32TextBox::setSelStart(int start) {
  const std::wstring text = windowText(hwnd_);
  const int at = utf16Index(text, std::max(start, 0));
  SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(at), at);
}

void W32TextBox::setSelLength(int length) {
  const std::wstring text = windowText(hwnd_);
  const int start = selStart();
  const int from = utf16Index(text, start);
  const int to = utf16Index(text, start + std::max(length, 0));
  SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(from), to);
}

}  // namespace qm::win32
