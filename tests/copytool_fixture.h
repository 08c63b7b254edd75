// The copy tool's test fixture: a headless backend, a settings folder, a fake copier.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/filesystem.h"
#include "errors.h"
#include "frmMain.h"
#include "os/codepage.h"
#include "temp_folder.h"
#include "ui/headless/headless.h"

namespace qm::testing {

using headless::HForm;

// A file-system object whose copies fail with the numbers a test queues.
class FakeFileSystem : public FileSystemObject {
 public:
  struct Shared {
    std::deque<int> failures;  // 0: succeed
    std::vector<std::pair<std::string, std::string>> copies;
    std::vector<int> pointerDuringCopy;
    headless::HeadlessBackend* ui = nullptr;
  };
  explicit FakeFileSystem(Shared& shared) : shared_(shared) {}
  std::string GetBaseName(std::string_view) override { return {}; }
  void CopyFolder(std::string_view source, std::string_view destination, bool overwrite) override {
    EXPECT_TRUE(overwrite);
    shared_.copies.emplace_back(source, destination);
    shared_.pointerDuringCopy.push_back(shared_.ui->pointer);
    const int failure = shared_.failures.empty() ? 0 : shared_.failures.front();
    if (!shared_.failures.empty()) shared_.failures.pop_front();
    if (failure) throw RuntimeError(failure, destination);
  }

 private:
  Shared& shared_;
};

class CopyTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    fs.ui = &ui;
    ui.objectFactory = [this] { return std::make_unique<FakeFileSystem>(fs); };
  }
  void TearDown() override {
    for (const auto& box : ui.unexpectedBoxes) ADD_FAILURE() << "unexpected box: " << box.text;
    EXPECT_EQ(ui.answersLeft(), 0u) << "scripted answers left unused";
  }
  // Writes the settings file from UTF-8 text, in code page 932 as the setup tool does.
  void store(const std::string& text) { writeBytes(dir / "Copy.Copy", toAnsi(text, "test")); }
  void storeRaw(const std::string& bytes) { writeBytes(dir / "Copy.Copy", bytes); }
  // Removes whatever stands at the settings file's path (and a FIFO a test put beside it).
  void clearSettingsFile() {
    std::filesystem::remove_all(dir / "Copy.Copy");
    std::filesystem::remove(dir / "Copy.Copy.fifo");
  }
  void storeJob() { store("\"/src/プロジェクト.v2\"\r\n\"/mnt/backup\"\r\n\"プロジェクト\"\r\n"); }
  HForm& start() {
    window.start();
    return *ui.form("frmMain");
  }
  std::string caption(const char* name) { return ui.form("frmMain")->label(name).caption(); }
  std::vector<std::string> boxTexts() {
    std::vector<std::string> out;
    for (const auto& b : ui.boxes) out.push_back(b.text);
    return out;
  }

  TempFolder dir;
  headless::HeadlessBackend ui{"QM(Quillmar)"};
  FakeFileSystem::Shared fs;
  frmMain window{ui};
};

}  // namespace qm::testing
