// The rules of a window that every toolkit applies alike.
#include "form_rules.h"

#include <algorithm>
#include <cctype>

namespace qm {

namespace {

char upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

}  // namespace

std::string_view keptText(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

std::vector<const ControlRow*> tabOrder(const FormLayout& layout) {
  std::vector<const ControlRow*> rows;
  for (const ControlRow& row : layout.controls)
    if (row.type != ControlType::Label) rows.push_back(&row);
  std::stable_sort(rows.begin(), rows.end(), [](const ControlRow* a, const ControlRow* b) {
    return a->tabIndex < b->tabIndex;
  });
  return rows;
}

const ControlRow* firstFocus(const FormLayout& layout) {
  const std::vector<const ControlRow*> order = tabOrder(layout);
  return order.empty() ? nullptr : order.front();
}

const ControlRow* enterTarget(const FormLayout& layout, std::string_view focused) {
  if (const ControlRow* row = findControl(layout, focused);
      row && row->type == ControlType::CommandButton)
    return row;
  for (const ControlRow& row : layout.controls)
    if (row.type == ControlType::CommandButton && (row.other & kDefault)) return &row;
  return nullptr;
}

char accessKeyOf(std::string_view caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return upper(caption[i + 1]);
  }
  return 0;
}

const ControlRow* accessKeyControl(const FormLayout& layout, char key) {
  if (key == 0) return nullptr;
  for (const ControlRow& row : layout.controls) {
    if (!showsAccessKey(row) || accessKeyOf(row.caption) != upper(key)) continue;
    return row.type == ControlType::Label ? controlAfterLabel(layout, row) : &row;
  }
  return nullptr;
}

const ControlRow* controlAfterLabel(const FormLayout& layout, const ControlRow& label) {
  for (const ControlRow* row : tabOrder(layout))
    if (row->tabIndex > label.tabIndex) return row;
  return nullptr;
}

bool showsAccessKey(const ControlRow& row) {
  switch (row.type) {
    case ControlType::CommandButton: return true;
    case ControlType::Label: return accessKeyOf(row.caption) != 0;
    default: return false;
  }
}

const ControlRow* labelOf(const FormLayout& layout, const ControlRow& control) {
  const ControlRow* nearest = nullptr;
  for (const ControlRow& row : layout.controls) {
    const bool sameLine =
        row.top < control.top + control.height && control.top < row.top + row.height;
    if (row.type != ControlType::Label || !sameLine || row.left + row.width > control.left)
      continue;
    if (!nearest || row.left > nearest->left) nearest = &row;
  }
  return nearest;
}

std::string accessibleNameOf(const FormLayout& layout, const ControlRow& control) {
  const bool named = control.type == ControlType::TextBox ||
                     control.type == ControlType::DriveListBox ||
                     control.type == ControlType::DirListBox;
  if (!named) return {};
  if (const ControlRow* label = labelOf(layout, control)) {
    std::string name = shownCaption(label->caption, true);
    // A Japanese access key in brackets goes with its letter: "ファイル名(N)" is "ファイル名".
    const char key = accessKeyOf(label->caption);
    if (key != 0) {
      const std::string bracketed = std::string("(") + key + ")";
      if (name.ends_with(bracketed)) name.erase(name.size() - bracketed.size());
    }
    return name;
  }
  if (control.type == ControlType::DriveListBox) return "ドライブ";
  if (control.type == ControlType::DirListBox) return "フォルダー";
  return {};
}

std::string labelToolTip(const ControlRow& row, std::string_view caption) {
  std::string tip(row.toolTip);
  if (!tip.empty() && !showsAccessKey(row) && !caption.empty()) tip.append("\n").append(caption);
  return tip;
}

std::string shownCaption(std::string_view caption, bool accessKeys) {
  if (!accessKeys) return std::string(caption);
  std::string shown;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    shown += caption[i];
  }
  return shown;
}

}  // namespace qm
