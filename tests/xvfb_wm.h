// An X server of the test's own (the server picks its free display) with openbox as the
// window manager, the programs in it, and window properties read with xprop.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "qt_xvfb.h"

namespace qm::e2e {

class WmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "import", "compare"})
      if (!onPath(tool)) GTEST_SKIP() << tool << " not installed";
    xvfb_ = startXvfb(display_);
    ASSERT_GT(xvfb_, 0) << "Xvfb gave no display";
    wm_ = spawn({"openbox"}, {"DISPLAY=" + display_});
    // openbox has taken over once it names itself on the root window.
    ASSERT_FALSE(waitFor([&] {
                   return prop("root", "_NET_SUPPORTING_WM_CHECK").find("window id") !=
                                  std::string::npos
                              ? std::string("up")
                              : std::string();
                 }).empty())
        << "openbox did not start";
    xdo("mousemove 1023 767");
    base_ = fs::temp_directory_path() / ("qm_wm_" + std::to_string(::getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_ / "cfg");
    fs::create_directories(base_ / "home");
  }

  // A program left running goes first (through a tracer too, which SIGKILL cannot keep
  // waiting); then the window manager and the server, which takes any rest with it.
  void TearDown() override {
    for (pid_t p : {app_, wm_, xvfb_})
      if (p > 0) {
        ::kill(p, p == app_ ? SIGKILL : SIGTERM);
        ::waitpid(p, nullptr, 0);
      }
    if (!base_.empty()) fs::remove_all(base_);
  }

  // Starts a program (through `wrapper` when given, e.g. a tracer) with the settings
  // folder base_/cfg and the home folder base_/home.
  void launch(const std::string& program, const std::vector<std::string>& wrapper = {}) {
    std::vector<std::string> args = wrapper;
    args.push_back(program);
    // In a sanitizer build, the system libraries' own caches (D-Bus, fontconfig) are not
    // the program's leaks; and the leak check cannot run at all under a tracer.
    const fs::path suppressions = base_ / "lsan.supp";
    std::ofstream(suppressions) << "leak:libdbus-1.so\nleak:libfontconfig.so\n";
    std::vector<std::string> env = {"DISPLAY=" + display_,
                                    "XDG_CONFIG_HOME=" + (base_ / "cfg").string(),
                                    "HOME=" + (base_ / "home").string(),
                                    "QT_QPA_PLATFORM=xcb",
                                    "LANG=C.UTF-8",
                                    "LSAN_OPTIONS=suppressions=" + suppressions.string()};
    if (!wrapper.empty()) env.push_back("ASAN_OPTIONS=detect_leaks=0");
    app_ = spawn(args, env, base_.string());
  }

  // True when the program ended by itself with exit code 0 within the limit.
  bool endsWithin(std::chrono::milliseconds limit = kWait) {
    int status = 0;
    if (!exitedWithin(app_, limit, status)) return false;
    app_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // The visible windows whose title matches the extended regular expression.
  std::vector<std::string> windows(const std::string& titleRegex) {
    return words(xdo("search --onlyvisible --name '" + titleRegex + "'"));
  }
  // Waits for a visible window with that title other than those in `except`.
  std::string waitWindow(const std::string& titleRegex,
                         const std::vector<std::string>& except = {}) {
    return waitFor([&] {
      for (const std::string& id : windows(titleRegex))
        if (std::find(except.begin(), except.end(), id) == except.end()) return id;
      return std::string();
    });
  }

  // xdotool, given ten seconds at most: its --sync waits forever for a window that the
  // window manager will not activate (one behind a modal box).
  std::string xdo(const std::string& args) {
    return capture("DISPLAY=" + display_ + " timeout 10 xdotool " + args + " 2>/dev/null");
  }
  // One property of a window ("root" for the root window), as xprop prints it.
  std::string prop(const std::string& window, const std::string& name) {
    const std::string which = window == "root" ? "-root" : "-id " + window;
    return capture("DISPLAY=" + display_ + " xprop " + which + " " + name + " 2>/dev/null");
  }
  // The window's WM_STATE ("Normal", "Iconic") or empty when it has none.
  std::string wmState(const std::string& window) {
    const std::string text = prop(window, "WM_STATE");
    const std::size_t at = text.find("window state: ");
    return at == std::string::npos ? std::string() : words(text.substr(at + 14)).front();
  }

  void activate(const std::string& window) { xdo("windowactivate --sync " + window); }
  void keys(const std::string& window, const std::string& keys) {
    activate(window);
    xdo("key --clearmodifiers " + keys);
  }

  // A picture of one window's contents.
  void shoot(const std::string& window, const fs::path& file) {
    std::system(("import -display " + display_ + " -window " + window + " '" + file.string() +
                 "' 2>/dev/null")
                    .c_str());
  }

  std::string display_;
  pid_t xvfb_ = -1, wm_ = -1, app_ = -1;
  fs::path base_;
};

}  // namespace qm::e2e
