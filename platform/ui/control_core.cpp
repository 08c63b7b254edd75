// The control values every toolkit keeps alike.
#include "control_core.h"

#include "errors.h"

#include <algorithm>

#include "form_rules.h"
#include "utf8.h"

namespace qm {

void LabelCore::setCaption(std::string_view caption) {
  caption_ = keptText(caption);
  showCaption(caption_);
  if (!design_.toolTip.empty()) showToolTip(labelToolTip(design_, caption_));
}

// ---- text box -------------------------------------------------------------------------

void TextBoxCore::setText(std::string_view text) {
  const std::string_view kept = keptText(text);
  if (kept == text_) return;
  text_ = kept;
  showText(text_);
  selectUnits(0, 0);
  if (Change) Change();
}

void TextBoxCore::userEdited(std::string now) {
  if (now == text_) return;
  text_ = std::move(now);
  backend_.dispatch([this] {
    if (Change) Change();
  });
}

int TextBoxCore::selStart() const {
  return charsBeforeUtf16(text_, selectionUnits().first);
}

int TextBoxCore::selLength() const {
  const auto [from, to] = selectionUnits();
  return charsBeforeUtf16(text_, to) - charsBeforeUtf16(text_, from);
}

void TextBoxCore::setSelStart(int start) {
  const int at = utf16Offset(text_, std::clamp(start, 0, utf8Length(text_)));
  selectUnits(at, at);
}

void TextBoxCore::setSelLength(int length) {
  const int start = selStart();
  const int chars = std::clamp(length, 0, utf8Length(text_) - start);
  selectUnits(utf16Offset(text_, start), utf16Offset(text_, start + chars));
}

// ---- drive and folder lists -----------------------------------------------------------

void DriveListCore::setDrive(std::string_view spec) {
  std::string now = selectDrive(spec);
  if (now == drive_) return;
  drive_ = std::move(now);
  if (Change) Change();
}

void DriveListCore::userPicked(std::string spec) {
  backend_.dispatch([this, spec = std::move(spec)] { setDrive(spec); });
}

void DirListCore::setPath(std::string_view path) {
  take(openFolder(path));
}

// A folder the user cannot open (another user's, a system junction, one gone meanwhile)
// is no error of the program: a beep, and the list shows its folder again, listed afresh
// and highlighted, as the user left it.
void DirListCore::userOpened(std::string folder) {
  backend_.dispatch([this, folder = std::move(folder)] {
    std::string now;
    try {
      now = openListedFolder(folder);
    } catch (const RuntimeError&) {
      backend_.beep();
      try {
        openListedFolder(path_);
      } catch (const RuntimeError&) {
        // Gone too: the list stays as it is.
      }
      return;
    }
    take(std::move(now));
  });
}

void DirListCore::take(std::string now) {
  if (now == path_) return;
  path_ = std::move(now);
  if (Change) Change();
}

}  // namespace qm
