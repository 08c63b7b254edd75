// The copy tool end to end in a real X server (Xvfb), driven by xdotool.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "codepage.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr bool kHaveCopyEngine = QM_E2E_HAVE_FS;

bool onPath(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command and returns its standard output.
std::string capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe)) out += buf;
    ::pclose(pipe);
  }
  return out;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  const pid_t pid = ::fork();
  if (pid == 0) {
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
auto waitFor(F probe, std::chrono::milliseconds limit = 10s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  auto value = probe();
  while (value.empty() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(100ms);
    value = probe();
  }
  return value;
}

bool exitedWithin(pid_t pid, std::chrono::milliseconds limit, int& status) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

class CopyToolInX : public testing::Test {
 protected:
  void SetUp() override {
    if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool not installed";
    int n = 40 + static_cast<int>(::getpid() % 50);
    while (fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) ++n;
    display_ = ":" + std::to_string(n);
    xvfb_ = spawn({"Xvfb", display_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {});
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    ASSERT_FALSE(waitFor([&] { return fs::exists(socket) ? socket : std::string(); }).empty());
    base_ = fs::temp_directory_path() / ("qm_e2e_" + std::to_string(::getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_ / "cfg");
    fs::create_directories(base_ / "src/データ/sub");
    fs::create_directories(base_ / "dst");
    std::ofstream(base_ / "src/データ/sub/memo.txt") << "中身\n";
  }
  void TearDown() override {
    if (app_ > 0 && ::waitpid(app_, nullptr, WNOHANG) == 0) {
      ::kill(app_, SIGKILL);
      ::waitpid(app_, nullptr, 0);
    }
    if (xvfb_ > 0) {
      ::kill(xvfb_, SIGTERM);
      ::waitpid(xvfb_, nullptr, 0);
    }
    if (!base_.empty()) fs::remove_all(base_);
  }

  // The settings file as the setup tool writes it: three quoted records, CR LF, CP 932.
  void writeSettings(const std::string& source, const std::string& dest, const std::string& base) {
    std::ofstream out(base_ / "cfg/Copy.Copy", std::ios::binary);
    for (const std::string& v : {source, dest, base}) out << qm::toAnsi("\"" + v + "\"", "test") << "\r\n";
  }

  void launch() {
    // In a sanitizer build, the system libraries' own caches (D-Bus, fontconfig) are
    // not reported as leaks of the program.
    const fs::path suppressions = base_ / "lsan.supp";
    std::ofstream(suppressions) << "leak:libdbus-1.so\nleak:libfontconfig.so\n";
    app_ = spawn({QM_COPYTOOL_PATH},
                 {"DISPLAY=" + display_, "XDG_CONFIG_HOME=" + (base_ / "cfg").string(),
                  "QT_QPA_PLATFORM=xcb", "LANG=C.UTF-8",
                  "LSAN_OPTIONS=suppressions=" + suppressions.string()});
  }

  // The copy tool's main window, found by its title.
  std::string mainWindow() {
    return waitFor([&] {
      const auto ids = words(xdo("search --onlyvisible --name 'QM\\(Quillmar\\)'"));
      return ids.empty() ? std::string() : ids.front();
    });
  }

  bool endsWithin(std::chrono::milliseconds limit) {
    int status = 0;
    if (!exitedWithin(app_, limit, status)) return false;
    app_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string xdo(const std::string& args) {
    return capture("DISPLAY=" + display_ + " xdotool " + args + " 2>/dev/null");
  }

  // The visible windows of the copy tool other than `except`.
  std::string otherWindow(const std::string& except) {
    for (const std::string& id : words(xdo("search --onlyvisible --pid " + std::to_string(app_))))
      if (id != except) return id;
    return {};
  }

  void pressIn(const std::string& window, const std::string& keys) {
    xdo("windowfocus --sync " + window);
    xdo("key --clearmodifiers " + keys);
  }

  std::string display_;
  pid_t xvfb_ = -1;
  pid_t app_ = -1;
  fs::path base_;
};

TEST_F(CopyToolInX, CopiesTheStoredJobAfterConfirmationAndEnds) {
  if (!kHaveCopyEngine) GTEST_SKIP() << "this build has no copy engine (qm_fs)";
  writeSettings((base_ / "src/データ").string(), (base_ / "dst").string(), "データ");
  launch();
  const std::string main = mainWindow();
  ASSERT_FALSE(main.empty()) << "the copy tool's window did not appear";
  std::this_thread::sleep_for(500ms);
  std::system(("import -display " + display_ + " -window root '" QM_E2E_SHOT "' 2>/dev/null").c_str());

  pressIn(main, "alt+c");
  const std::string confirm = waitFor([&] { return otherWindow(main); });
  ASSERT_FALSE(confirm.empty()) << "no confirmation box";
  pressIn(confirm, "alt+y");
  const std::string done = waitFor([&] {
    const std::string id = otherWindow(main);
    return id == confirm ? std::string() : id;
  });
  ASSERT_FALSE(done.empty()) << "no completion box";
  pressIn(done, "Return");

  ASSERT_TRUE(endsWithin(10s)) << "the copy tool did not end cleanly";
  std::ifstream copied(base_ / "dst/データ/sub/memo.txt");
  std::string text;
  std::getline(copied, text);
  EXPECT_EQ(text, "中身");
}

TEST_F(CopyToolInX, WithoutSettingsFileOnlyTheMessageAppearsAndOkEnds) {
  launch();
  const std::string box = waitFor([&] { return otherWindow(""); });
  ASSERT_FALSE(box.empty()) << "no message";
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(words(xdo("search --onlyvisible --pid " + std::to_string(app_))).size(), 1u);
  pressIn(box, "Return");
  EXPECT_TRUE(endsWithin(10s));
}

TEST_F(CopyToolInX, QuitButtonsAccessKeyEndsTheProgram) {
  writeSettings((base_ / "src/データ").string(), (base_ / "dst").string(), "データ");
  launch();
  const std::string main = mainWindow();
  ASSERT_FALSE(main.empty());
  pressIn(main, "alt+e");
  EXPECT_TRUE(endsWithin(10s));
  EXPECT_FALSE(fs::exists(base_ / "dst/データ"));
}

}  // namespace
