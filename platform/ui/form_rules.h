// The rules of a window that every toolkit applies alike: text, focus, keys, captions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drive_letter.h"
#include "layout.h"

namespace qm {

// What a text box or a caption keeps of a text: the characters before the first NUL.
std::string_view keptText(std::string_view text);

// The controls that take the focus (every kind but the label), in tab order.
std::vector<const ControlRow*> tabOrder(const FormLayout& layout);

// The control that takes the focus when the window is first shown, or nullptr.
const ControlRow* firstFocus(const FormLayout& layout);

// The button that Enter presses: the focused control when it is a button, else the
// window's default button; nullptr when there is neither.
const ControlRow* enterTarget(const FormLayout& layout, std::string_view focused);

// The access key of a caption: the letter after a single "&", upper-cased; 0 when the
// caption has none ("&&" stands for a literal "&").
char accessKeyOf(std::string_view caption);

// The control that Alt + `key` reaches, or nullptr: a button with that access key is
// pressed; a label with it passes the focus to the control after it in tab order.
const ControlRow* accessKeyControl(const FormLayout& layout, char key);

// The control after a label in tab order: where the label's access key moves the focus.
const ControlRow* controlAfterLabel(const FormLayout& layout, const ControlRow& label);

// The label that names a text box or list for screen readers: the nearest label on its
// left on the same line; nullptr where there is none.
const ControlRow* labelOf(const FormLayout& layout, const ControlRow& control);

// What a screen reader calls a text box or list: its label's caption without the access
// key ("ファイル名(&N)" is "ファイル名"), else what the list holds ("ドライブ", "フォルダー");
// empty for other controls.
std::string accessibleNameOf(const FormLayout& layout, const ControlRow& control);

// The tooltip of a label once its caption is `caption`: the designed one, and where the
// label shows data (a path that may run past the window's edge), the caption after it.
std::string labelToolTip(const ControlRow& row, std::string_view caption);

// Whether a control draws its "&" as an access key. A label does so only when its design
// caption holds one; a label designed empty or without one shows data (paths), whose
// every "&" is shown as it is.
bool showsAccessKey(const ControlRow& row);

// A caption as the user sees it: with access keys, "&x" shows as "x" and "&&" as "&";
// without, unchanged.
std::string shownCaption(std::string_view caption, bool accessKeys);

}  // namespace qm
