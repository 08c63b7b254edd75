// The shared fixture of the setup tool's window tests: a temporary settings folder,
// a headless backend and a base-name double.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ui/filesystem.h"
#include "errors.h"
#include "frmCopy.h"
#include "ui/headless/headless.h"

namespace qm::test {

// Gives base names as the scripting object does; records the paths it was asked for.
class BaseNameDouble : public FileSystemObject {
 public:
  explicit BaseNameDouble(std::vector<std::string>& calls) : calls_(calls) {}
  std::string GetBaseName(std::string_view path) override {
    calls_.emplace_back(path);
    const auto slash = path.find_last_of("\\/");
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return std::string(last.substr(0, last.rfind('.')));
  }
  void CopyFolder(std::string_view, std::string_view, bool) override {
    throw RuntimeError(err::kInvalidCall);
  }

 private:
  std::vector<std::string>& calls_;
};

class SetupToolTest : public ::testing::Test {
 protected:
  static constexpr const char* kCopyTool = "QM(Quillmar).exe";

  void SetUp() override {
    char pattern[] = "/tmp/qm_setuptool_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    ui.objectFactory = [this] { return std::make_unique<BaseNameDouble>(baseNameCalls); };
    ui.programs[kCopyTool] = 0;
  }

  void TearDown() override {
    for (const headless::BoxRecord& box : ui.unexpectedBoxes)
      ADD_FAILURE() << "unexpected message box: " << box.text;
    window.reset();
    std::filesystem::remove_all(dir_);
  }

  // Starts the setup tool; returns its settings window.
  headless::HForm& start() {
    window = std::make_unique<frmCopy>(ui);
    window->start();
    settings_ = ui.form("frmCopy");
    return *settings_;
  }
  headless::HForm& settings() { return *settings_; }
  std::string box(std::string_view name) { return settings_->text(name).text(); }

  std::string settingsFile() const { return dir_ + "/Copy.Copy"; }
  bool settingsFileExists() const { return std::filesystem::exists(settingsFile()); }
  void writeSettingsBytes(const std::string& bytes) const {
    std::ofstream(settingsFile(), std::ios::binary) << bytes;
  }
  std::string settingsBytes() const {
    std::ifstream in(settingsFile(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  // The texts of the message boxes shown so far, in order.
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const headless::BoxRecord& b : ui.boxes) texts.push_back(b.text);
    return texts;
  }

  std::string dir_;
  headless::HeadlessBackend ui{"QMS(QuillmarSetter)"};
  std::vector<std::string> baseNameCalls;
  std::unique_ptr<frmCopy> window;

 private:
  headless::HForm* settings_ = nullptr;
};

// The texts the setup tool shows, as the user reads them.
inline constexpr const char* kSourceMissing = "コピー元を指定してください。";
inline constexpr const char* kDestinationMissing = "コピー先を指定してください。";
inline constexpr const char* kSavedRunCopyTool = "設定が完了しました。QM(Quillmar)を実行しますか？";
inline constexpr const char* kCopyToolMissing =
    "QM(Quillmar)が見つかりません。同フォルダにQM(Quillmar)があるか確認してください。";
inline constexpr const char* kErrorOccurred =
    "エラーが発生。原因不明の場合は､作者に連絡してください。";
inline constexpr const char* kAddressCopied =
    "作者のメールアドレスは､クリップボードにコピーしました。";
inline constexpr const char* kNotSetQuit =
    "コピー元と､コピー先が､設定されていません！終了しますか?";
inline constexpr const char* kDeviceNotReady =
    "デバイスの準備が出来ていません！！　準備が出来てから､再度実行してください。";
inline constexpr const char* kPickerError = "エラーが発生しました！！";
inline constexpr const char* kPickerFixOrTell =
    "原因がわかる場合は解決して､わからない場合は､作者に知らせてください。";
inline constexpr const char* kPickerAddressCopied =
    "メールアドレスは､クリップボードにコピーしておきます。";

}  // namespace qm::test
