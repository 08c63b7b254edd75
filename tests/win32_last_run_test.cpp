// The last run of the copy tool's job on the Win32 backend: placed while the window loads.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "frmMain.h"
#include "os/win32/wide.h"
#include "ui/last_run.h"
#include "ui/last_run_line.h"
#include "win32_backend_fixture.h"

namespace qm::win32 {
namespace {

TEST_F(Win32BackendTest, TheLastRunOfTheJobStandsOnTheCopyToolsWindowFromItsLoad) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("qm-last-run-" + std::to_string(GetCurrentProcessId())))
                               .string();
  LastRun run;
  run.source = "C:\\Users\\u\\写真";
  run.destination = "E:\\写真";
  run.started = 1733634185;
  run.number = 61;
  run.file = "2024\\IMG_0001.JPG";
  run.cause = "コピー先の空き容量がありません";
  run.counts.found = 1234;
  run.counts.failed = 1;
  std::ofstream(file, std::ios::binary) << formatLastRun(run);
  const CopyOutcome expected = lastRunOutcome(run, localTimeOf(run.started));

  // As the copy tool loads: the job is read and its last run shown before the window is.
  W32Form& form = make(frmMainLayout());
  ui->lastRun().show(file, run.source, run.destination);
  form.label("Label3").setCaption("上記のように、コピーを開始します。");
  form.show();
  auto& backend = dynamic_cast<Win32Backend&>(*ui);
  const HWND line = backend.outcomeLine();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(GetParent(line), form.hwnd());
  EXPECT_TRUE(IsWindowVisible(line));
  // Its text is what screen readers read as its name.
  wchar_t text[512] = L"";
  GetWindowTextW(line, text, 512);
  EXPECT_EQ(narrow(text), expected.line);
  const RECT band = clientRectOf(line);
  for (const char* name :
       {"Label1", "Label2", "lblCopy1", "lblCopy2", "Label3", "cmdCopy", "Command2", "cmdHenkou"}) {
    RECT control = clientRectOf(form.control(name)), overlap;
    EXPECT_FALSE(IntersectRect(&overlap, &band, &control)) << name;
  }
  // Another job has no last run: the line goes.
  ui->lastRun().show(file, "C:\\Users\\u\\文書", run.destination);
  EXPECT_EQ(backend.outcomeLine(), nullptr);
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace qm::win32
