// Busy runs on the Win32 backend: answering the system, input dropped, the progress panel.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "errors.h"
#include "frmMain.h"
#include "os/win32/wide.h"
#include "ui/app.h"
#include "ui/progress_view.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/form_win32.h"

namespace qm::win32 {
namespace {

void deliverPending(Win32Backend& ui) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ui.deliver(msg);
}

HWND childOfClass(HWND window, const wchar_t* cls) {
  return FindWindowExW(window, nullptr, cls, nullptr);
}

std::string textOf(HWND h) {
  wchar_t buf[256] = L"";
  GetWindowTextW(h, buf, 256);
  return narrow(buf);
}

// The text of the static control that stands level with `bar`, right of it.
std::string lineBeside(HWND window, HWND bar) {
  RECT b;
  GetWindowRect(bar, &b);
  for (HWND h = FindWindowExW(window, nullptr, L"Static", nullptr); h;
       h = FindWindowExW(window, h, L"Static", nullptr)) {
    RECT r;
    GetWindowRect(h, &r);
    if (r.top == b.top && r.left >= b.right) return textOf(h);
  }
  return {};
}

class Win32Busy : public ::testing::Test {
 protected:
  void SetUp() override {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    backend = createBackend(argc, argv, "QM(Quillmar)");
    made = ui().createForm(frmMainLayout());
    form().button("Command2").Click = [this] { ++clicks; };
    form().button("cmdCopy").Click = [this] { ++clicks; };
    form().MouseMove = [this](int, int, float, float) { ++moves; };
    form().Closed = [this] { ++closes; };
    form().show();
    deliverPending(ui());
  }
  Win32Backend& ui() { return static_cast<Win32Backend&>(*backend); }
  W32Form& form() { return static_cast<W32Form&>(*made); }

  std::unique_ptr<Backend> backend;
  std::unique_ptr<Form> made;
  int clicks = 0, moves = 0, closes = 0;
};

// The work posts what a user would do to the window while it runs, and asks the window
// for an answer the way the system does before it calls a window hung.
TEST_F(Win32Busy, TheWindowAnswersWhileInputAndCloseRequestsAreDroppedNotQueued) {
  HWND window = form().hwnd();
  HWND quit = form().control("Command2");
  CopyProgress progress;
  bool answered = false;
  HWND bar = nullptr;
  std::string line, barName;
  ui().runWhileBusy(
      [&] {
        PostMessageW(quit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(quit, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        PostMessageW(quit, WM_KEYDOWN, VK_SPACE, 1);
        PostMessageW(quit, WM_KEYUP, VK_SPACE, 1 | (3u << 30));
        PostMessageW(quit, WM_SYSKEYDOWN, 'E', 1 | (1u << 29));
        PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 100));
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        PostMessageW(window, WM_CLOSE, 0, 0);
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result) != 0;
        progress.filesFound = 3;
        progress.bytesFound = 3000;
        progress.filesDone = 1;
        progress.bytesDone = 1000;
        progress.walkDone = true;
        Sleep(kProgressDelayMs + 3 * kProgressIntervalMs);
        bar = childOfClass(window, PROGRESS_CLASSW);
        if (bar) line = lineBeside(window, bar);
        // Screen readers call the bar by the label just before it.
        if (HWND before = bar ? GetWindow(bar, GW_HWNDPREV) : nullptr) {
          wchar_t text[64] = L"";
          GetWindowTextW(before, text, 64);
          barName = narrow(text);
        }
      },
      progress);
  deliverPending(ui());
  EXPECT_TRUE(answered);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(moves, 0);
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(form().isOpen());
  EXPECT_TRUE(IsWindow(window));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(line, "1 / 3 ファイル　1000 バイト / 2.9 KB");
  EXPECT_EQ(barName, kProgressBarName);
  EXPECT_EQ(childOfClass(window, PROGRESS_CLASSW), nullptr);
  // The window takes input again.
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(quit), BN_CLICKED), (LPARAM)quit);
  EXPECT_EQ(clicks, 1);
}

// The panel lies in frmMain's band between Label3 and the buttons and covers no control.
TEST_F(Win32Busy, PanelLiesInTheFreeBandAndIsGoneAfter) {
  HWND window = form().hwnd();
  CopyProgress progress;
  RECT barRect{};
  ui().runWhileBusy(
      [&] {
        Sleep(kProgressDelayMs + 3 * kProgressIntervalMs);
        if (HWND bar = childOfClass(window, PROGRESS_CLASSW)) {
          GetWindowRect(bar, &barRect);
          MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&barRect), 2);
        }
      },
      progress);
  const int dpi = ui().dpi();
  EXPECT_GE(barRect.top, twipsToPixels(1200 + 435, dpi));
  EXPECT_LE(barRect.bottom, twipsToPixels(2040, dpi));
  EXPECT_GT(barRect.bottom, barRect.top);
  EXPECT_EQ(childOfClass(window, PROGRESS_CLASSW), nullptr);
}

TEST_F(Win32Busy, TheWorksErrorReachesTheCallerAfterTheRun) {
  CopyProgress progress;
  DWORD workThread = 0;
  try {
    ui().runWhileBusy(
        [&] {
          workThread = GetCurrentThreadId();
          throw RuntimeError(err::kPermissionDenied, "D:\\バックアップ");
        },
        progress);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPermissionDenied);
  }
  EXPECT_NE(workThread, 0u);
  EXPECT_NE(workThread, GetCurrentThreadId());
  EXPECT_FALSE(ui().busyRunning());
}

}  // namespace
}  // namespace qm::win32
