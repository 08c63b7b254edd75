// Layout tables: a window and its controls as they are designed, in twips.
#pragma once

#include <string_view>
#include <vector>

namespace qm {

enum class ControlType { CommandButton, Label, TextBox, DriveListBox, DirListBox };

// Where a window first appears.
enum class StartUpPosition { CenterScreen = 2, WindowsDefault = 3 };

// The program icons the windows carry.
enum class WindowIcon { CopyTool, SetupTool };

// A font of the layout tables; points == 0 means the window's default font.
struct Font {
  double points = 0;
  bool bold = false;
};
inline constexpr Font kDefaultFont{};
inline constexpr Font pt(double points) {
  return Font{points, false};
}
inline constexpr Font bold(double points) {
  return Font{points, true};
}

// Flags from the "Other" column of the tables, combined with |.
enum Other : unsigned {
  kNone = 0,
  kAutoSize = 1u << 0,     // a label grows to fit its caption
  kBorder = 1u << 1,       // a label with a single-line border
  kDefault = 1u << 2,      // the button that Enter presses
  kImeHiragana = 1u << 3,  // a text box that asks the input method for hiragana
};

// One row of a window's control table. Rows are listed in stacking order, top first.
struct ControlRow {
  ControlType type;
  std::string_view name;
  std::string_view caption;  // "&" marks the access key
  int left, top, width, height;
  int tabIndex;
  Font font = kDefaultFont;
  std::string_view toolTip = {};
  unsigned other = kNone;
};

struct FormLayout {
  std::string_view name;
  std::string_view caption;
  int clientWidth, clientHeight;  // twips
  StartUpPosition startUp;
  WindowIcon icon;
  std::vector<ControlRow> controls;  // stacking order, top first
};

// The pixel height a font of `points` takes at `dpi` (negative: the character height, as
// Windows asks for it).
inline int fontPixelHeight(double points, int dpi) {
  return -static_cast<int>(points * dpi / 72.0 + 0.5);
}

// Twips to pixels: 15 twips a pixel at 96 dpi, scaled to the screen's dpi.
inline int twipsToPixels(int twips, double dpi = 96.0) {
  const double px = twips * dpi / 1440.0;
  return static_cast<int>(px + (px >= 0 ? 0.5 : -0.5));
}

const ControlRow* findControl(const FormLayout& layout, std::string_view name);

}  // namespace qm
