// Win32 labels, buttons and text boxes: captions, auto-size, clicks, change and focus events.
#include "controls_win32.h"

#include <imm.h>

#include <algorithm>

#include "backend_win32.h"
#include "form_win32.h"
#include "os/win32/wide.h"
#include "ui/form_rules.h"

namespace qm::win32 {
namespace {

std::wstring windowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

void W32Control::focusNotice(WORD code, WORD setFocus) {
  if (code == setFocus) form_.controlFocused(row_.name);
}

// ---- label ----------------------------------------------------------------------------

// The window shows the design caption; an auto-sized one is fitted to it.
W32Label::W32Label(W32Form& form, const ControlRow& row, HWND hwnd)
    : LabelCore(row), W32Control(form, row, hwnd) {
  showCaption(caption());
}

void W32Label::fit() {
  if (row_.other & kAutoSize) fitToText(widen(caption()));
}

void W32Label::showToolTip(const std::string& tip) {
  form_.changeToolTip(hwnd_, tip);
}

void W32Label::showCaption(const std::string& caption) {
  const std::wstring text = widen(caption);
  SetWindowTextW(hwnd_, text.c_str());
  if (row_.other & kAutoSize) fitToText(text);
}

// An auto-sized label takes the size of its caption on one line, border included, every
// "&" measured as the label draws it; an empty one keeps its design size.
void W32Label::fitToText(const std::wstring& text) {
  const int dpi = form_.dpi();
  int w = twipsToPixels(row_.width, dpi), h = twipsToPixels(row_.height, dpi);
  if (!text.empty()) {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, form_.backend().font(row_.font, dpi));
    RECT rc{0, 0, 0, 0};
    const UINT prefix = showsAccessKey(row_) ? 0 : DT_NOPREFIX;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc,
              DT_CALCRECT | DT_SINGLELINE | prefix);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    const int border = (row_.other & kBorder) ? 2 * GetSystemMetrics(SM_CXBORDER) : 0;
    w = rc.right + border;
    h = rc.bottom + border;
  }
  SetWindowPos(hwnd_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(GetParent(hwnd_), nullptr, TRUE);
}

// ---- button ---------------------------------------------------------------------------

void W32Button::onCommand(WORD code) {
  if (code == BN_CLICKED)
    form_.backend().dispatch([this] {
      if (Click) Click();
    });
  focusNotice(code, BN_SETFOCUS);
}

// ---- text box -------------------------------------------------------------------------

W32TextBox::W32TextBox(W32Form& form, const ControlRow& row, HWND hwnd)
    : TextBoxCore(form.backend()), W32Control(form, row, hwnd) {}

void W32TextBox::onCommand(WORD code) {
  if (code == EN_CHANGE) onEditChange();
  if (code == EN_SETFOCUS) onSetFocus();
  focusNotice(code, EN_SETFOCUS);
}

void W32TextBox::showText(const std::string& text) {
  ++suppress_;
  SetWindowTextW(hwnd_, widen(text).c_str());
  --suppress_;
}

void W32TextBox::onEditChange() {
  if (!suppress_) userEdited(narrow(windowText(hwnd_)));
}

// The box that asks for hiragana opens the input method in that mode on each focus.
void W32TextBox::onSetFocus() {
  if (!(row_.other & kImeHiragana)) return;
  if (HIMC imc = ImmGetContext(hwnd_)) {
    DWORD conversion = 0, sentence = 0;
    ImmGetConversionStatus(imc, &conversion, &sentence);
    ImmSetOpenStatus(imc, TRUE);
    ImmSetConversionStatus(imc, IME_CMODE_NATIVE | IME_CMODE_FULLSHAPE, sentence);
    ImmReleaseContext(hwnd_, imc);
  }
}

std::pair<int, int> W32TextBox::selectionUnits() const {
  DWORD start = 0, end = 0;
  SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {static_cast<int>(start), static_cast<int>(end)};
}

void W32TextBox::selectUnits(int from, int to) {
  SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(from), to);
}

}  // namespace qm::win32
