// The settings window: layout table, then the handlers in the order they run.
#include "frmCopy.h"

#include "contact.h"
#include "errors.h"
#include "settings.h"
#include "utf8.h"

namespace qm {

// clang-format off
const FormLayout& frmCopyLayout() {
  static const FormLayout layout{
    "frmCopy", "QMS(QuillmarSetter)", 7635, 2130, StartUpPosition::CenterScreen, WindowIcon::SetupTool,
    {
      // type                        name         caption       left  top   width height tab font          tooltip other
      {ControlType::CommandButton, "cmdCan",    "キャンセル", 3360, 1440, 1575, 495,   5},
      {ControlType::TextBox,       "txtWinDir", "",           3840, 1440, 855,  375,   8},
      {ControlType::CommandButton, "cmdOK",     "&OK",        1320, 1440, 1575, 495,   4, kDefaultFont, {}, kDefault},
      {ControlType::CommandButton, "cmdSun2",   "参照(&S)",   6360, 840,  1095, 375,   3},
      {ControlType::CommandButton, "cmdSan1",   "参照(&M)",   6360, 240,  1095, 375,   2},
      {ControlType::TextBox,       "txtCopy2",  "",           1080, 840,  4935, 375,   1},
      {ControlType::TextBox,       "txtCopy1",  "",           1080, 240,  4935, 375,   0, kDefaultFont, {}, kImeHiragana},
      {ControlType::Label,         "lblCopy2",  "コピー先",   120,  840,  735,  255,   7},
      {ControlType::Label,         "lblCopy1",  "コピー元",   120,  240,  735,  255,   6},
    }};
  return layout;
}
// clang-format on

namespace {
constexpr const char* kSourceMissing = "コピー元を指定してください。";
constexpr const char* kDestinationMissing = "コピー先を指定してください。";
constexpr const char* kSavedRunCopyTool = "設定が完了しました。QM(Quillmar)を実行しますか？";
constexpr const char* kSavedTitle = "QMS(Quillmar)";
constexpr const char* kCopyToolMissing =
    "QM(Quillmar)が見つかりません。同フォルダにQM(Quillmar)があるか確認してください。";
constexpr const char* kErrorOccurred = "エラーが発生。原因不明の場合は､作者に連絡してください。";
constexpr const char* kAddressCopied = "作者のメールアドレスは､クリップボードにコピーしました。";
constexpr const char* kNotSetQuit = "コピー元と､コピー先が､設定されていません！終了しますか?";
constexpr const char* kNotSetTitle = "QMS(QuillmarSetter)";
constexpr const char* kCopyToolFile = "QM(Quillmar).exe";

void selectAll(TextBox& box) {
  box.setSelStart(0);
  box.setSelLength(utf8Length(box.text()));
}
}  // namespace

frmCopy::frmCopy(Backend& ui)
    : Window(ui, frmCopyLayout()),
      frmCopy1(ui, frmCopy1Layout(), *this, "txtCopy1"),
      frmCopy2(ui, frmCopy2Layout(), *this, "txtCopy2") {}

void frmCopy::start() {
  Form& f = createForm();
  f.textBox("txtCopy1").GotFocus = [this] { txtCopy1_GotFocus(); };
  f.textBox("txtCopy2").GotFocus = [this] { txtCopy2_GotFocus(); };
  f.button("cmdSan1").Click = [this] { cmdSan1_Click(); };
  f.button("cmdSun2").Click = [this] { cmdSun2_Click(); };
  f.button("cmdOK").Click = [this] { cmdOK_Click(); };
  f.button("cmdCan").Click = [this] { cmdCan_Click(); };
  // Closing the settings window by its frame ends the program, open pickers with it,
  // so that no picker is left to write into a window that is gone.
  f.Closed = [] { endProgram(); };
  ui_.dispatch([&] {
    Form_Load();
    f.show();
  });
}

// The Windows directory goes through txtWinDir, which holds it afterwards; the settings
// file lies in the directory the box gives back.
std::string frmCopy::lookUpSettingsPath() {
  TextBox& txtWinDir = textBox("txtWinDir");
  txtWinDir.setText(lookupWindowsDirectory(kSetupToolBufferWidth));
  return settingsPath(txtWinDir.text());
}

// Any failure ends the load silently. The boxes are set only after all three records
// were read, so a short or missing file leaves both empty.
void frmCopy::Form_Load() {
  try {
    settingsPath_ = lookUpSettingsPath();
    const CopySettings job = readSettings(settingsPath_);
    SourcePath = job.SourcePath;
    DestinationPath = job.DestinationPath;
    BaseName = job.BaseName;
    textBox("txtCopy1").setText(SourcePath);
    textBox("txtCopy2").setText(DestinationPath);
  } catch (const RuntimeError&) {
  }
}

void frmCopy::txtCopy1_GotFocus() {
  selectAll(textBox("txtCopy1"));
}

void frmCopy::txtCopy2_GotFocus() {
  selectAll(textBox("txtCopy2"));
}

void frmCopy::cmdSan1_Click() {
  frmCopy1.Show();
}

void frmCopy::cmdSun2_Click() {
  frmCopy2.Show();
}

// The object and the base name come before any check and outside the error handling:
// a failure there goes to the default report of an unhandled error.
void frmCopy::cmdOK_Click() {
  SourcePath = textBox("txtCopy1").text();
  DestinationPath = textBox("txtCopy2").text();
  fso_ = ui_.createObject(kFileSystemObjectId);
  BaseName = fso_->GetBaseName(SourcePath);
  if (textBox("txtCopy1").text().empty()) {
    MsgBox(kSourceMissing, mb::kOk);
    return;
  }
  if (textBox("txtCopy2").text().empty()) {
    MsgBox(kDestinationMissing, mb::kOk);
    return;
  }
  int answer = 0;
  try {
    settingsPath_ = lookUpSettingsPath();
    writeSettings(settingsPath_, CopySettings{SourcePath, DestinationPath, BaseName});
    answer = MsgBox(kSavedRunCopyTool, mb::kYesNo | mb::kIconQuestion, kSavedTitle);
  } catch (const RuntimeError&) {
    reportError();
    return;
  }
  if (answer == mb::kAnswerYes) {
    try {
      ui_.startProgram(kCopyToolFile, kNormalFocus);
    } catch (const RuntimeError& e) {
      if (e.number == err::kFileNotFound) {
        MsgBox(kCopyToolMissing, mb::kOk);
        endProgram();
      }
      reportError();
      return;
    }
    endProgram();
  } else if (answer == mb::kAnswerNo) {
    endProgram();
  }
}

// The address is copied after the box that says it has been.
void frmCopy::reportError() {
  MsgBox(kErrorOccurred, mb::kOk);
  MsgBox(kAddressCopied, mb::kOk);
  ui_.setClipboardText(kAuthorAddress);
}

void frmCopy::cmdCan_Click() {
  settingsPath_ = lookUpSettingsPath();
  if (settingsFileExists(settingsPath_)) endProgram();
  if (MsgBox(kNotSetQuit, mb::kYesNo | mb::kIconQuestion, kNotSetTitle) == mb::kAnswerYes)
    endProgram();
}

}  // namespace qm
