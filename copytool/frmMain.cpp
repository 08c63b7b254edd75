// The copy tool's main window: layout table, then the handlers in the order they run.
#include "frmMain.h"

#include "contact.h"
#include "destination.h"
#include "errors.h"
#include "os/paths.h"
#include "settings.h"

namespace qm {

// clang-format off
const FormLayout& frmMainLayout() {
  static const FormLayout layout{
    "frmMain", "QM(Quillmar)", 9240, 2865, StartUpPosition::WindowsDefault, WindowIcon::CopyTool,
    {
      // type                        name         caption            left   top   width height tab font         tooltip / other
      {ControlType::CommandButton, "Command2",  "やめる(&E)",       3480, 2040, 2295, 615, 5, bold(15.75), "クリックすると､コピーをせずに終了します。"},
      {ControlType::TextBox,       "txtWinDir", "",                 4080, 2160, 1215, 270, 8},
      {ControlType::CommandButton, "cmdHenkou", "変更(&H)",         6360, 2040, 2295, 615, 7, bold(15.75), "クリックするとコピー元と､コピー先をＱＭＳで変更します。"},
      {ControlType::CommandButton, "cmdCopy",   "コピー開始(&C)",   480,  2040, 2295, 615, 4, bold(15.75), "クリックすると､上記の場所にコピーをします。"},
      {ControlType::Label,         "Label3",    "",                 1800, 1200, 135,  435, 6, pt(21.75),   {}, kAutoSize},
      {ControlType::Label,         "lblCopy1",  "",                 1560, 120,  135,  285, 3, pt(11.25),   "今からコピーするコピー元のパス名です。", kAutoSize | kBorder},
      {ControlType::Label,         "lblCopy2",  "",                 1560, 720,  135,  285, 2, pt(11.25),   "今からコピーするコピー先のパス名です。", kAutoSize | kBorder},
      {ControlType::Label,         "Label2",    "コピー先",         240,  720,  1095, 255, 1, bold(12)},
      {ControlType::Label,         "Label1",    "コピー元",         240,  120,  1095, 255, 0, bold(12)},
    }};
  return layout;
}
// clang-format on

namespace {
constexpr const char* kMissingSettingsFile =
    "『Copy.Copy』が見つかりません。≪QMS(QuillmarSetter.exe)≫で、コピー元と､コピー先を､"
    "設定してから､再度実行してください。  ";
constexpr const char* kReady = "上記のように、コピーを開始します。";
constexpr const char* kConfirm = "コピーを開始します。よろしいですか？";
constexpr const char* kCopyTitle = "コピー";
constexpr const char* kCompleted = "コピーが完了しました。正常終了します。";
constexpr const char* kDeviceNotReady = "デバイスの準備が出来ていません。";
constexpr const char* kPathNotFound =
    "指定しているパス名が見つかりません！もう１度設定しなおしてください!";
constexpr const char* kErrorOccurred =
    "エラーが発生しました。原因がわかる場合は､解決し､わからない場合は､作者に連絡ください。";
constexpr const char* kAddressCopied = "メールアドレスは､クリップボードにコピーしておきます。";
constexpr const char* kSetupToolMissing =
    "≪QMS(QuillmarSetter)≫が見つかりません。\r\n"
    "このプログラム(QM(Quillmar)と同一フォルダにあるか確認してください。";
constexpr const char* kSetupToolFile = "QMS (QuillmarSetter).exe";
}  // namespace

frmMain::frmMain(Backend& ui) : Window(ui, frmMainLayout()) {}

void frmMain::start() {
  Form& f = createForm();
  f.button("cmdCopy").Click = [this] { cmdCopy_Click(); };
  f.button("cmdHenkou").Click = [this] { cmdHenkou_Click(); };
  f.button("Command2").Click = [this] { Command2_Click(); };
  f.MouseMove = [this](int b, int s, float x, float y) { Form_MouseMove(b, s, x, y); };
  // The program's only window: closing it by its frame ends the program.
  f.Closed = [] { endProgram(); };
  ui_.dispatch([&] {
    Form_Load();
    f.show();
  });
}

// The Windows directory goes through txtWinDir, which holds it afterwards; the settings
// file lies in the directory the box gives back.
std::string frmMain::lookUpSettingsPath() {
  TextBox& txtWinDir = textBox("txtWinDir");
  txtWinDir.setText(lookupWindowsDirectory(kCopyToolBufferWidth));
  return settingsPath(txtWinDir.text());
}

// The three values are taken only when all three records were read, so a short file
// can never leave the stored destination in place of the effective one. The last run of
// the job shows where a copy's outcome stands.
void frmMain::readAndShow() {
  const std::string path = lookUpSettingsPath();
  const CopySettings job = readSettings(path);
  SourcePath = job.SourcePath;
  DestinationPath = job.DestinationPath;
  BaseName = job.BaseName;
  label("lblCopy1").setCaption(SourcePath);
  label("lblCopy2").setCaption(DestinationPath);
  DestinationPath = effectiveDestination(DestinationPath, BaseName, kPathSeparator);
  ui_.lastRun().show(lastRunPath(textBox("txtWinDir").text()), SourcePath, DestinationPath);
}

void frmMain::Form_Load() {
  try {
    readAndShow();
    label("Label3").setCaption(kReady);
  } catch (const RuntimeError& e) {
    if (e.number == err::kFileNotFound) {
      MsgBox(kMissingSettingsFile, mb::kOk);
      endProgram();
    }
    // Any other failure: no message; the window opens as far as it was set up.
  }
}

// A refresh that cannot read the file leaves the window as it was: the job shown
// stays the one the copy button uses.
void frmMain::Load() {
  try {
    readAndShow();
  } catch (const RuntimeError&) {
  }
}

void frmMain::Form_MouseMove(int, int, float, float) {
  Load();
}

// Every Retry runs the whole copy again from the confirmation, in this loop rather than
// by recursion, so that the stack does not grow with the number of retries.
void frmMain::cmdCopy_Click() {
  for (;;) {
    if (MsgBox(kConfirm, mb::kYesNo | mb::kIconQuestion, kCopyTitle) == mb::kAnswerNo) return;
    fso_ = ui_.createObject(kFileSystemObjectId);
    try {
      ui_.setMousePointer(kPointerHourglass);
      fso_->CopyFolder(SourcePath, DestinationPath, true);
      ui_.setMousePointer(kPointerDefault);
      MsgBox(kCompleted, mb::kOk);
      endProgram();
    } catch (const RuntimeError& e) {
      ui_.setMousePointer(kPointerDefault);
      if (e.number == err::kPermissionDenied) {
        if (MsgBox(kDeviceNotReady, mb::kRetryCancel | mb::kIconError, kCopyTitle) ==
            mb::kAnswerRetry)
          continue;
        return;
      }
      if (e.number == err::kPathNotFound) {
        MsgBox(kPathNotFound, mb::kOk);
        cmdHenkou_Click();
        endProgram();
      }
      MsgBox(kErrorOccurred, mb::kOk);
      MsgBox(kAddressCopied, mb::kOk);
      ui_.setClipboardText(kAuthorAddress);
      return;
    }
  }
}

void frmMain::cmdHenkou_Click() {
  try {
    ui_.startProgram(kSetupToolFile, kNormalFocus);
  } catch (const RuntimeError& e) {
    if (e.number == err::kFileNotFound) MsgBox(kSetupToolMissing, mb::kOk);
  }
}

void frmMain::Command2_Click() {
  endProgram();
}

}  // namespace qm
