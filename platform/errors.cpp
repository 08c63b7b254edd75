// Run-time error descriptions and the end-of-program signal.
#include "errors.h"

namespace qm {

std::string errorDescription(int number) {
  switch (number) {
    case err::kInvalidCall: return "プロシージャの呼び出し、または引数が不正です。";
    case err::kBadFileName: return "ファイル名または番号が不正です。";
    case err::kFileNotFound: return "ファイルが見つかりません。";
    case err::kDeviceIo: return "デバイス I/O エラーです。";
    case err::kFileExists: return "既に同名のファイルが存在しています。";
    case err::kDiskFull: return "ディスクの空き容量が不足しています。";
    case err::kPastEnd: return "ファイルにこれ以上データがありません。";
    case err::kDeviceUnavailable: return "デバイスが準備されていません。";
    case err::kPermissionDenied: return "書き込みできません。";
    case err::kDiskNotReady: return "ディスクが準備されていません。";
    case err::kPathFileAccess: return "パス名が無効です。";
    case err::kPathNotFound: return "パスが見つかりません。";
    case err::kCannotCreateObject: return "ActiveX コンポーネントはオブジェクトを作成できません。";
    case err::kClipboardBusy: return "クリップボードを開けません。";
    default: return "アプリケーション定義またはオブジェクト定義のエラーです。";
  }
}

RuntimeError::RuntimeError(int num, std::string_view onPath)
    : number(num), description(errorDescription(num)), path(onPath) {}

RuntimeError::RuntimeError(int num, std::string desc, std::string onPath)
    : number(num), description(std::move(desc)), path(std::move(onPath)) {}

void endProgram() {
  throw ProgramEnd{};
}

std::string unhandledErrorReport(const RuntimeError& e) {
  std::string text = "実行時エラー '" + std::to_string(e.number) + "':\r\n\r\n" + e.description;
  if (!e.path.empty()) text += "\r\n" + e.path;
  return text;
}

}  // namespace qm
