// The copy tool's last run of its job on the Qt backend: shown on load, readable, refreshed.
#include <gtest/gtest.h>

#include <QLabel>
#include <cstdlib>
#include <optional>
#include <string>

#include "frmMain.h"
#include "os/codepage.h"
#include "qt_test_util.h"
#include "temp_folder.h"
#include "ui/last_run.h"
#include "ui/last_run_line.h"

namespace qm::qt {
namespace {

using qm::testing::TempFolder;
using qm::testing::writeBytes;

// Points the settings folder at a folder of the test's, and back again.
class ConfigFolder {
 public:
  explicit ConfigFolder(const std::string& path) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    ::setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~ConfigFolder() {
    if (old_)
      ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }

 private:
  std::optional<std::string> old_;
};

TEST(QtLastRun, TheCopyToolShowsTheLastRunOfItsJobOnLoadUntilTheJobChanges) {
  TempFolder dir;
  const ConfigFolder config(dir.path());
  const auto storeJob = [&](const std::string& source) {
    writeBytes(dir / "Copy.Copy",
               toAnsi("\"" + source + "\"\r\n\"/mnt/バックアップ\"\r\n\"写真\"\r\n", "test"));
  };
  storeJob("/home/u/写真");
  LastRun run;
  run.source = "/home/u/写真";
  run.destination = "/mnt/バックアップ/写真";
  run.started = 1733634185;
  run.counts.found = 1234;
  run.counts.written = 12;
  run.counts.readBack = 12;
  writeBytes(dir / "Copy.Last", formatLastRun(run));
  const CopyOutcome expected = lastRunOutcome(run, localTimeOf(run.started));

  auto ui = test::makeBackend();
  frmMain window(*ui);
  window.start();
  QLabel* line = ui->outcomeLine();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->window(), test::qtForm(window.form()).window());
  EXPECT_TRUE(line->isVisible());
  EXPECT_EQ(line->text().toStdString(), expected.line);
  EXPECT_EQ(line->accessibleName().toStdString(), expected.line);
  EXPECT_EQ(line->toolTip().toStdString(), expected.details);
  EXPECT_EQ(line->accessibleDescription().toStdString(), expected.details);
  // Regression: a line placed while the window loaded covered Label3 once it had its caption.
  for (QWidget* control : line->window()->findChildren<QWidget*>()) {
    if (control == line || control->parentWidget() != line->parentWidget()) continue;
    EXPECT_FALSE(control->geometry().intersects(line->geometry()))
        << control->objectName().toStdString();
  }
  // A refresh with another job stored takes it off.
  storeJob("/home/u/文書");
  window.Load();
  EXPECT_EQ(ui->outcomeLine(), nullptr);
}

}  // namespace
}  // namespace qm::qt
