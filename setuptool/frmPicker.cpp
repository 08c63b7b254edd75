// The folder pickers: the layout shared by both, then the handlers in the order they run.
#include "frmPicker.h"

#include "contact.h"
#include "errors.h"

namespace qm {

namespace {

// The values in which frmCopy2 differs from frmCopy1.
struct PickerShape {
  std::string_view name;
  std::string_view caption;
  int clientHeight;
  int dirHeight;
  int openTop;
  int exitTop;
  int fileNameWidth;
};

// clang-format off
FormLayout pickerLayout(const PickerShape& s) {
  return FormLayout{
    s.name, s.caption, 6570, s.clientHeight, StartUpPosition::CenterScreen, WindowIcon::SetupTool,
    {
      // type                        name           caption            left  top        width             height       tab font         tooltip other
      {ControlType::DirListBox,    "Dir1",        "",                120,  1440,      4335,             s.dirHeight, 5},
      {ControlType::DriveListBox,  "Drive1",      "",                120,  960,       4335,             300,         4},
      {ControlType::CommandButton, "cmdExit",     "閉じる",          5040, s.exitTop, 1215,             495,         3},
      {ControlType::CommandButton, "cmdOpen",     "OK",              5040, s.openTop, 1215,             495,         2, kDefaultFont, {}, kDefault},
      {ControlType::TextBox,       "txtFileName", "",                1800, 240,       s.fileNameWidth,  270,         1},
      {ControlType::Label,         "Label1",      "ファイル名(&N)",  360,  240,       1215,             375,         0},
    }};
}
// clang-format on

constexpr const char* kFirstDrive = "C:";
constexpr const char* kSecondDrive = "A:";
constexpr const char* kDeviceNotReady =
    "デバイスの準備が出来ていません！！　準備が出来てから､再度実行してください。";
constexpr const char* kErrorOccurred = "エラーが発生しました！！";
constexpr const char* kTellAuthor =
    "原因がわかる場合は解決して､わからない場合は､作者に知らせてください。";
constexpr const char* kAddressCopied = "メールアドレスは､クリップボードにコピーしておきます。";

}  // namespace

const FormLayout& frmCopy1Layout() {
  static const FormLayout layout =
      pickerLayout({"frmCopy1", "コピー元指定", 4545, 2820, 1680, 3000, 4455});
  return layout;
}

const FormLayout& frmCopy2Layout() {
  static const FormLayout layout =
      pickerLayout({"frmCopy2", "コピー先指定", 4935, 3240, 2040, 3600, 4335});
  return layout;
}

frmPicker::frmPicker(Backend& ui, const FormLayout& layout, Window& owner,
                     std::string_view targetBox)
    : Window(ui, layout), owner_(owner), targetBox_(targetBox) {}

void frmPicker::Show() {
  if (isLoaded()) {
    form().show();
    return;
  }
  // A reopened picker starts afresh: new controls, and a picked path that matches its
  // empty path box.
  pickedPath.clear();
  Form& f = createForm();
  f.driveList("Drive1").Change = [this] { Drive1_Change(); };
  f.dirList("Dir1").Change = [this] { Dir1_Change(); };
  f.textBox("txtFileName").Change = [this] { txtFileName_Change(); };
  f.button("cmdOpen").Click = [this] { cmdOpen_Click(); };
  f.button("cmdExit").Click = [this] { cmdExit_Click(); };
  Form_Load();
  f.show();
}

void frmPicker::Form_Load() {
  try {
    driveList("Drive1").setDrive(kFirstDrive);
  } catch (const RuntimeError&) {
    try {
      driveList("Drive1").setDrive(kSecondDrive);
    } catch (const RuntimeError&) {
      MsgBox(kErrorOccurred, mb::kOk);
      MsgBox(kTellAuthor, mb::kOk);
      MsgBox(kAddressCopied, mb::kOk);
      ui_.setClipboardText(kAuthorAddress);
      endProgram();
    }
  }
}

// Selecting "C:" again is itself a drive change, so this handler runs nested; when C:
// cannot be shown either, the nested run selects "C:" once more, which no longer
// changes the drive, and the nesting ends.
void frmPicker::Drive1_Change() {
  try {
    dirList("Dir1").setPath(driveList("Drive1").drive());
  } catch (const RuntimeError&) {
    try {
      MsgBox(kDeviceNotReady, mb::kOk);
      driveList("Drive1").setDrive(kFirstDrive);
    } catch (const RuntimeError&) {
      // Not covered: a failure here goes on to the caller.
      driveList("Drive1").setDrive(kSecondDrive);
    }
  }
}

void frmPicker::Dir1_Change() {
  textBox("txtFileName").setText(dirList("Dir1").path());
}

void frmPicker::txtFileName_Change() {
  pickedPath = textBox("txtFileName").text();
}

// The settings window lives until the program ends; the check only guards against
// writing into a window that is already gone.
void frmPicker::cmdOpen_Click() {
  if (owner_.isLoaded()) owner_.form().textBox(targetBox_).setText(pickedPath);
  unload();
}

void frmPicker::cmdExit_Click() {
  unload();
}

}  // namespace qm
