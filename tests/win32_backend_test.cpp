// The Win32 backend under Wine: windows from layout tables, control events, fonts, focus,
// the order screen readers read, and the outcome line.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "frmCopy.h"
#include "frmMain.h"
#include "frmPicker.h"
#include "os/win32/wide.h"
#include "ui/progress_view.h"
#include "win32_backend_fixture.h"

namespace qm::win32 {
namespace {

TEST_F(Win32BackendTest, ControlsStandWhereTheTableSays) {
  W32Form& form = make(frmMainLayout());
  const int dpi = dynamic_cast<Win32Backend&>(*ui).dpi();
  RECT client;
  GetClientRect(form.hwnd(), &client);
  EXPECT_EQ(client.right, twipsToPixels(9240, dpi));
  EXPECT_EQ(client.bottom, twipsToPixels(2865, dpi));
  for (const ControlRow& row : frmMainLayout().controls) {
    const RECT rc = clientRectOf(form.control(row.name));
    EXPECT_EQ(rc.left, twipsToPixels(row.left, dpi)) << row.name;
    EXPECT_EQ(rc.top, twipsToPixels(row.top, dpi)) << row.name;
  }
  EXPECT_EQ(GetWindowLongW(form.hwnd(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
}

TEST_F(Win32BackendTest, TheHiddenBoxLiesBeneathTheQuitButton) {
  W32Form& form = make(frmMainLayout());
  const RECT rc = clientRectOf(form.control("txtWinDir"));
  const POINT centre{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  EXPECT_EQ(ChildWindowFromPoint(form.hwnd(), centre), form.control("Command2"));
}

TEST_F(Win32BackendTest, TabOrderFollowsTheTabIndex) {
  W32Form& form = make(frmMainLayout());
  std::vector<HWND> order;
  HWND h = form.control("cmdCopy");
  for (int i = 0; i < 4; ++i, h = GetNextDlgTabItem(form.hwnd(), h, FALSE)) order.push_back(h);
  const std::vector<HWND> expected{form.control("cmdCopy"), form.control("Command2"),
                                   form.control("cmdHenkou"), form.control("txtWinDir")};
  EXPECT_EQ(order, expected);
}

TEST_F(Win32BackendTest, FontsComeFromTheTable) {
  W32Form& form = make(frmMainLayout());
  const int dpi = dynamic_cast<Win32Backend&>(*ui).dpi();
  struct Case {
    const char* name;
    double points;
    LONG weight;
  } cases[] = {{"cmdCopy", 15.75, 700},
               {"Label3", 21.75, 400},
               {"lblCopy1", 11.25, 400},
               {"Label1", 12, 700}};
  for (const Case& c : cases) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form.control(c.name), WM_GETFONT, 0, 0)),
               sizeof lf, &lf);
    EXPECT_EQ(narrow(lf.lfFaceName), "ＭＳ Ｐゴシック") << c.name;
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET) << c.name;
    EXPECT_EQ(lf.lfWeight, c.weight) << c.name;
    EXPECT_EQ(lf.lfHeight, -std::lround(c.points * dpi / 72.0)) << c.name;
  }
}

TEST_F(Win32BackendTest, OnlyTheTablesDefaultButtonIsDefault) {
  W32Form& test = make(testLayout());
  W32Form& main = make(frmMainLayout());
  EXPECT_EQ(GetWindowLongW(test.control("cmdOK"), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
  for (const char* name : {"cmdCopy", "Command2", "cmdHenkou"})
    EXPECT_EQ(GetWindowLongW(main.control(name), GWL_STYLE) & 0xF, BS_PUSHBUTTON) << name;
}

TEST_F(Win32BackendTest, ChangeFiresOnlyOnRealChangeForProgramAndUser) {
  W32Form& form = make(testLayout());
  TextBox& box = form.textBox("txtA");
  int changes = 0;
  box.Change = [&] { ++changes; };
  struct Step {
    bool byUser;
    std::string text;
    std::string expected;
    int changes;
  } steps[] = {
      {false, "a", "a", 1}, {false, "a", "a", 1},          {false, std::string("b\0c", 3), "b", 2},
      {false, "b", "b", 2}, {true, "データ", "データ", 3}, {true, "データ", "データ", 3},
      {false, "", "", 4}};
  for (const Step& s : steps) {
    if (s.byUser)
      SendMessageW(form.control("txtA"), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(widen(s.text).c_str()));
    else
      box.setText(s.text);
    EXPECT_EQ(box.text(), s.expected);
    EXPECT_EQ(changes, s.changes) << s.expected;
  }
}

TEST_F(Win32BackendTest, SelectionCountsCharactersNotCodeUnits) {
  W32Form& form = make(testLayout());
  TextBox& box = form.textBox("txtA");
  struct Case {
    const char* text;
    int start, length;
    DWORD from, to;  // UTF-16 positions in the control
  } cases[] = {{"abcdef", 1, 3, 1, 4},
               {"データabc", 2, 3, 2, 5},
               {"\xF0\x9F\x98\x80xyz", 1, 2, 2, 4},
               {"ab", 5, 5, 2, 2}};
  for (const Case& c : cases) {
    box.setText(c.text);
    box.setSelStart(c.start);
    box.setSelLength(c.length);
    DWORD from = 0, to = 0;
    SendMessageW(form.control("txtA"), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                 reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, c.from) << c.text;
    EXPECT_EQ(to, c.to) << c.text;
    EXPECT_EQ(box.selStart(), std::min(c.start, static_cast<int>(c.from))) << c.text;
  }
}

TEST_F(Win32BackendTest, ShowFocusesTheFirstControlInTabOrder) {
  W32Form& form = make(testLayout());
  int a = 0, b = 0;
  form.textBox("txtA").GotFocus = [&] { ++a; };
  form.textBox("txtB").GotFocus = [&] { ++b; };
  form.show();
  EXPECT_EQ(GetFocus(), form.control("txtA"));
  EXPECT_EQ(a, 1);
  form.setFocus("txtB");
  EXPECT_EQ(b, 1);
  form.setFocus("txtB");
  EXPECT_EQ(b, 1);
}

TEST_F(Win32BackendTest, AutoSizedLabelFitsItsCaption) {
  W32Form& form = make(testLayout());
  HWND h = form.control("lblA");
  const int dpi = dynamic_cast<Win32Backend&>(*ui).dpi();
  const int designWidth = twipsToPixels(135, dpi);
  EXPECT_GT(clientRectOf(h).right - clientRectOf(h).left, designWidth);  // fitted to "コピー元"
  form.label("lblA").setCaption("C:\\とても長いフォルダの名前\\もっと長い名前");
  const RECT wide = clientRectOf(h);
  EXPECT_GT(wide.right - wide.left, 200);
  EXPECT_EQ(form.label("lblA").caption(), "C:\\とても長いフォルダの名前\\もっと長い名前");
  form.label("lblA").setCaption("");
  EXPECT_EQ(clientRectOf(h).right - clientRectOf(h).left, designWidth);
}

// Regression: "C:\R&D" in a label that shows a path was drawn as "C:\RD" with D underlined.
TEST_F(Win32BackendTest, LabelsThatShowDataShowAmpersandsLiterally) {
  W32Form& main = make(frmMainLayout());
  for (const char* name : {"lblCopy1", "lblCopy2", "Label3"})
    EXPECT_TRUE(GetWindowLongW(main.control(name), GWL_STYLE) & SS_NOPREFIX) << name;
  // The label is sized for every character of its caption, "&" included.
  Label& label = main.label("lblCopy1");
  label.setCaption("C:\\RD");
  const RECT plain = clientRectOf(main.control("lblCopy1"));
  label.setCaption("C:\\R&D");
  const RECT withAmpersand = clientRectOf(main.control("lblCopy1"));
  EXPECT_GT(withAmpersand.right - withAmpersand.left, plain.right - plain.left);
  EXPECT_EQ(label.caption(), "C:\\R&D");
}

TEST_F(Win32BackendTest, MouseMoveComesFromTheFormSurfaceOnlyInTwips) {
  W32Form& form = make(testLayout());
  std::vector<std::pair<float, float>> moves;
  form.MouseMove = [&](int, int, float x, float y) { moves.emplace_back(x, y); };
  const int dpi = dynamic_cast<Win32Backend&>(*ui).dpi();
  SendMessageW(form.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(dpi / 8, dpi / 4));
  SendMessageW(form.control("lblA"), WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
  SendMessageW(form.control("cmdOK"), WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_FLOAT_EQ(moves[0].first, 180.0f);
  EXPECT_FLOAT_EQ(moves[0].second, 360.0f);
}

TEST_F(Win32BackendTest, ClosingByTheFrameRaisesClosed) {
  W32Form& form = make(testLayout());
  int closed = 0;
  form.Closed = [&] { ++closed; };
  SendMessageW(form.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(form.isOpen());
}

// Screen readers call a control by the label just before it in z-order.
TEST_F(Win32BackendTest, EachTextBoxAndListHasItsNameJustBeforeItInZOrder) {
  const struct {
    const FormLayout& layout;
    const char* control;
    const char* name;
  } cases[] = {{frmCopyLayout(), "txtCopy1", "コピー元"},
               {frmCopyLayout(), "txtCopy2", "コピー先"},
               {frmCopy1Layout(), "txtFileName", "ファイル名(&N)"},
               {frmCopy1Layout(), "Drive1", "ドライブ"},
               {frmCopy1Layout(), "Dir1", "フォルダー"}};
  for (const auto& c : cases) {
    W32Form& form = make(c.layout);
    HWND before = GetWindow(form.control(c.control), GW_HWNDPREV);
    ASSERT_NE(before, nullptr) << c.control;
    wchar_t cls[16], text[64];
    GetClassNameW(before, cls, 16);
    GetWindowTextW(before, text, 64);
    EXPECT_EQ(std::wstring(cls), L"Static") << c.control;
    EXPECT_EQ(narrow(text), c.name) << c.control;
  }
}

// A window moved to a monitor of another dpi is laid out again there: the suggested
// rectangle, every control's place and size, and its font, at the new dpi.
TEST_F(Win32BackendTest, EachWindowIsLaidOutAgainWhenItsDpiChanges) {
  for (const FormLayout* layout :
       {&frmMainLayout(), &frmCopyLayout(), &frmCopy1Layout(), &frmCopy2Layout()}) {
    W32Form& form = make(*layout);
    const int dpi = 144;
    RECT suggested{10, 20, 10 + twipsToPixels(layout->clientWidth, dpi) + 40,
                   20 + twipsToPixels(layout->clientHeight, dpi) + 60};
    SendMessageW(form.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(form.dpi(), dpi);
    RECT window;
    GetWindowRect(form.hwnd(), &window);
    EXPECT_EQ(window.left, suggested.left) << layout->name;
    EXPECT_EQ(window.right - window.left, suggested.right - suggested.left) << layout->name;
    for (const ControlRow& row : layout->controls) {
      HWND child = form.control(row.name);
      RECT at;
      GetWindowRect(child, &at);
      MapWindowPoints(nullptr, form.hwnd(), reinterpret_cast<POINT*>(&at), 2);
      EXPECT_EQ(at.left, twipsToPixels(row.left, dpi)) << layout->name << "." << row.name;
      EXPECT_EQ(at.top, twipsToPixels(row.top, dpi)) << layout->name << "." << row.name;
      if (!(row.other & kAutoSize) && row.type != ControlType::DriveListBox) {
        EXPECT_EQ(at.right - at.left, twipsToPixels(row.width, dpi)) << row.name;
      }
      if (row.font.points <= 0) continue;
      LOGFONTW font{};
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
      EXPECT_EQ(font.lfHeight, fontPixelHeight(row.font.points, dpi)) << row.name;
    }
  }
}

// The line where the progress stood, in the free band, taken off by an empty outcome.
TEST_F(Win32BackendTest, TheOutcomeLineStandsInTheFreeBandOfTheWindowInFront) {
  W32Form& form = make(frmMainLayout());
  form.show();
  auto& backend = dynamic_cast<Win32Backend&>(*ui);
  const CopyOutcome outcome{
      "Notes.txt: コピー先は大文字と小文字を区別しません: Notes.txt と notes.txt",
      "Notes.txt: コピー先は大文字と小文字を区別しません"};
  backend.showOutcome(outcome);
  const HWND line = backend.outcomeLine();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(GetParent(line), form.hwnd());
  wchar_t text[256] = L"";
  GetWindowTextW(line, text, 256);
  EXPECT_EQ(narrow(text), outcome.line);
  const RECT band = clientRectOf(line);
  for (const char* name : {"Label3", "cmdCopy", "Command2", "cmdHenkou"}) {
    RECT control = clientRectOf(form.control(name)), overlap;
    EXPECT_FALSE(IntersectRect(&overlap, &band, &control)) << name;
  }
  // Regression: movement over the line no longer refreshed the window as over its surface.
  float movedY = -1;
  form.MouseMove = [&](int, int, float, float y) { movedY = y; };
  SendMessageW(line, WM_MOUSEMOVE, 0, MAKELPARAM(10, 5));
  EXPECT_NEAR(movedY, (band.top + 5) * 1440.0f / backend.dpi(), 1.0f);
  backend.showOutcome({});
  EXPECT_EQ(backend.outcomeLine(), nullptr);
  EXPECT_FALSE(IsWindow(line));
}

}  // namespace
}  // namespace qm::win32
