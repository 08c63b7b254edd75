// End-to-end helpers: a private Xvfb display, programs in it, xdotool keys, polling waits.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qm::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: the suite runs two tests at a time on a shared, sometimes busy machine.
inline constexpr std::chrono::milliseconds kWait = 30s;

inline bool onPath(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command and returns its standard output.
inline std::string capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe)) out += buf;
    ::pclose(pipe);
  }
  return out;
}

inline std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

inline pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::string& folder = {}) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// Polls `probe` until it returns a non-empty value or the time is up.
template <class F>
auto waitFor(F probe, std::chrono::milliseconds limit = kWait) {
  const auto end = std::chrono::steady_clock::now() + limit;
  auto value = probe();
  while (value.empty() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(100ms);
    value = probe();
  }
  return value;
}

inline bool exitedWithin(pid_t pid, std::chrono::milliseconds limit, int& status) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

inline std::string readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts Xvfb on a display it picks itself (-displayfd: no race with servers started at
// the same time) and returns its process id, or -1. Xvfb writes the display number and a
// newline once it accepts connections. -noreset: by default the server resets when its
// last client leaves (each xdotool call), and a client that connects during the reset
// can hang or be refused.
inline pid_t startXvfb(std::string& display) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string number;
  char c = 0;
  pollfd ready{fds[0], POLLIN, 0};
  while (pid > 0 && ::poll(&ready, 1, static_cast<int>(kWait.count())) > 0 &&
         ::read(fds[0], &c, 1) == 1 && c != '\n')
    number += c;
  ::close(fds[0]);
  if (pid > 0 && c == '\n' && !number.empty()) {
    display = ":" + number;
    return pid;
  }
  if (pid > 0) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
  return -1;
}

// A private X server, a scratch folder (base_) and one program at a time in them.
class XTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!onPath("Xvfb") || !onPath("xdotool") || !onPath("import"))
      GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import not installed";
    xvfb_ = startXvfb(display_);
    ASSERT_GT(xvfb_, 0) << "Xvfb gave no display";
    // The pointer goes to a corner, away from any control, so that no tooltip window
    // opens under it.
    ASSERT_FALSE(waitFor([&] { return xdo("getmouselocation"); }).empty())
        << "Xvfb does not answer";
    xdo("mousemove 1023 767");
    base_ = fs::temp_directory_path() / ("qm_e2e_" + std::to_string(::getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_ / "cfg");
  }
  void TearDown() override {
    stopApp();
    if (xvfb_ > 0) {
      ::kill(xvfb_, SIGTERM);
      ::waitpid(xvfb_, nullptr, 0);
    }
    if (!base_.empty()) fs::remove_all(base_);
  }

  void stopApp() {
    if (app_ > 0 && ::waitpid(app_, nullptr, WNOHANG) == 0) {
      ::kill(app_, SIGKILL);
      ::waitpid(app_, nullptr, 0);
    }
    app_ = -1;
  }

  // Starts a program in the display with the settings folder base_/cfg, the home
  // folder base_/home and the current folder `folder` (base_ when empty).
  void launch(const std::string& program, const fs::path& folder = {}) {
    fs::create_directories(base_ / "home");
    // In a sanitizer build, the system libraries' own caches (D-Bus, fontconfig) are
    // not reported as leaks of the program.
    const fs::path suppressions = base_ / "lsan.supp";
    std::ofstream(suppressions) << "leak:libdbus-1.so\nleak:libfontconfig.so\n";
    app_ = spawn({program},
                 {"DISPLAY=" + display_, "XDG_CONFIG_HOME=" + (base_ / "cfg").string(),
                  "HOME=" + (base_ / "home").string(), "QT_QPA_PLATFORM=xcb", "LANG=C.UTF-8",
                  "LSAN_OPTIONS=suppressions=" + suppressions.string()},
                 (folder.empty() ? base_ : folder).string());
  }

  // The program's visible window whose title matches the extended regular expression.
  std::string windowNamed(const std::string& titleRegex) {
    return waitFor([&] {
      // --all: by default xdotool lists windows that meet any one of the conditions.
      const auto ids = words(xdo("search --all --onlyvisible --pid " + std::to_string(app_) +
                                 " --name '" + titleRegex + "'"));
      return ids.empty() ? std::string() : ids.front();
    });
  }

  // True when the program ended by itself with exit code 0 within the limit.
  bool endsWithin(std::chrono::milliseconds limit = kWait) {
    int status = 0;
    if (!exitedWithin(app_, limit, status)) return false;
    app_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string xdo(const std::string& args) {
    return capture("DISPLAY=" + display_ + " xdotool " + args + " 2>/dev/null");
  }

  // The visible windows of the program other than those in `except`.
  std::string otherWindow(const std::vector<std::string>& except) {
    for (const std::string& id : words(xdo("search --onlyvisible --pid " + std::to_string(app_))))
      if (std::find(except.begin(), except.end(), id) == except.end()) return id;
    return {};
  }

  // Gives `window` the keyboard focus, waits until the server reports it, then sends keys.
  void pressIn(const std::string& window, const std::string& keys) {
    focus(window);
    xdo("key --clearmodifiers " + keys);
  }

  // Runs a copy from the copy tool's window with the keyboard: Alt+C, Yes at the
  // confirmation, Enter at the completion box; false with a message when a box is missing.
  ::testing::AssertionResult copyWithKeyboard(const std::string& main) {
    pressIn(main, "alt+c");
    const std::string confirm = waitFor([&] { return otherWindow({main}); });
    if (confirm.empty()) return ::testing::AssertionFailure() << "no confirmation box";
    pressIn(confirm, "alt+y");
    const std::string done = waitFor([&] { return otherWindow({main, confirm}); });
    if (done.empty()) return ::testing::AssertionFailure() << "no completion box";
    pressIn(done, "Return");
    return ::testing::AssertionSuccess();
  }

  // Clicks at a point of the window's client area (pixels).
  void clickIn(const std::string& window, int x, int y) {
    focus(window);
    xdo("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
        " click 1");
    xdo("mousemove 1023 767");
  }

  void typeIn(const std::string& window, const std::string& text) {
    focus(window);
    xdo("type --clearmodifiers --delay 30 '" + text + "'");
  }

  // Waits until the window shows more than one colour: Qt has then handled its mapping
  // and exposure, and keys sent to it no longer go to the window that had the focus.
  void waitDrawn(const std::string& window) {
    waitFor([&] {
      const std::string colours = capture("import -display " + display_ + " -window " + window +
                                          " -format '%k' info: 2>/dev/null");
      return std::atoi(colours.c_str()) > 1 ? colours : std::string();
    });
  }

  void focus(const std::string& window) {
    waitDrawn(window);
    waitFor([&] {
      xdo("windowfocus --sync " + window);
      return words(xdo("getwindowfocus -f")) == std::vector<std::string>{window} ? window
                                                                                 : std::string();
    });
  }

  void screenshot(const std::string& file) {
    std::system(
        ("import -display " + display_ + " -window root '" + file + "' 2>/dev/null").c_str());
  }

  std::string display_;
  pid_t xvfb_ = -1;
  pid_t app_ = -1;
  fs::path base_;
};

}  // namespace qm::e2e
