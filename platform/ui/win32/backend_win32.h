// The Win32 backend: forms, message boxes, pointer, clipboard, program start, event loop.
#pragma once

#include <windows.h>

#include <map>
#include <tuple>
#include <memory>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/form_registry.h"

namespace qm::win32 {

class W32Form;
class OutcomeLine;

class Win32Backend : public Backend {
 public:
  explicit Win32Backend(std::string appTitle);
  ~Win32Backend() override;

  std::unique_ptr<Form> createForm(const FormLayout& layout) override;
  int messageBox(std::string_view text, int style, std::string_view title) override;
  void setMousePointer(int pointer) override;
  void setClipboardText(std::string_view text) override;
  void run() override;
  // Delivers one message as the event loop does: keys go to the form first (Enter on the
  // folder list, access keys, plain characters), then to the dialog manager (Tab, Enter),
  // then to the window.
  void deliver(MSG& msg);
  // Delivers the messages already queued, as the event loop would (for tests).
  void pumpPending();

  int pointer() const { return pointer_; }
  int dpi() const { return dpi_; }
  // The layout font: "ＭＳ Ｐゴシック" at its size (at the screen's dpi, or at `dpi`), or
  // the default GUI font.
  HFONT font(const Font& font);
  HFONT font(const Font& font, int dpi);

  // The forms made, which add and remove themselves.
  FormRegistry<W32Form>& forms() { return forms_; }
  // A form's window was destroyed; when none is left the loop ends.
  void formDestroyed();
  // The window in front: the active one, else the newest visible one; or nullptr.
  W32Form* frontForm() const;
  void showOutcome(const CopyOutcome& outcome) override;
  // The line of the last copy's outcome while a window shows it; or nullptr.
  HWND outcomeLine() const;

 protected:
  void quit() override;
  void sound() override { MessageBeep(MB_OK); }
  std::unique_ptr<BusyLoop> busyLoop() override;

 private:
  FormRegistry<W32Form> forms_;
  using FontKey = std::tuple<long, bool, int>;  // points x 100, bold, dpi
  std::map<FontKey, HFONT> fonts_;
  HWND clipboardOwner_ = nullptr;
  int pointer_ = kPointerDefault;
  int dpi_ = 96;
  std::unique_ptr<OutcomeLine> outcome_;
};

// Registers the window class of the forms once.
const wchar_t* formClassName();

}  // namespace qm::win32
