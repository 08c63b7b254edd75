// A long copy in the copy tool under Xvfb and openbox: the window shows its progress, stays
// responsive, and takes no click, key or close request until the copy has ended.
#include <gtest/gtest.h>

#include "xvfb_wm.h"

namespace qm::e2e {
namespace {

constexpr int kFiles = 40;

// Pixels that differ between two pictures (ImageMagick's absolute error count).
long differingPixels(const fs::path& a, const fs::path& b) {
  const std::string out =
      capture("compare -metric AE '" + a.string() + "' '" + b.string() + "' null: 2>&1");
  return out.empty() ? -1 : std::atol(out.c_str());
}

// A strip of rows of a picture, as a picture of its own.
fs::path rows(const fs::path& picture, int top, int height, const std::string& name) {
  const fs::path out = picture.parent_path() / (name + ".png");
  std::system(("convert '" + picture.string() + "' -crop 10000x" + std::to_string(height) + "+0+" +
               std::to_string(top) + " +repage '" + out.string() + "'")
                  .c_str());
  return out;
}

class LongCopy : public WmTest {
 protected:
  void SetUp() override {
    WmTest::SetUp();
    if (IsSkipped()) return;
    if (!onPath("strace") || !onPath("convert")) GTEST_SKIP() << "strace or convert not installed";
    if (std::system("strace -f --seccomp-bpf -e trace=utimensat -e inject=utimensat:delay_enter=1 "
                    "-o /dev/null true >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "strace cannot trace or delay calls here";
    fs::create_directories(base_ / "src" / "photos");
    for (int i = 0; i < kFiles; ++i)
      std::ofstream(base_ / "src" / "photos" / ("img" + std::to_string(i) + ".jpg"))
          << std::string(65536, 'x');
    fs::create_directories(base_ / "dst");
    std::ofstream(base_ / "cfg" / "Copy.Copy", std::ios::binary)
        << "\"" << (base_ / "src" / "photos").string() << "\"\r\n\"" << (base_ / "dst").string()
        << "\"\r\n\"photos\"\r\n";
  }
};

// The copy is made long by the tracer: every change of a file's times (the copy sets them
// on each file and folder it writes) waits 0.3 seconds, which nothing else the
// program does meets. Regression: the window froze, showed nothing and queued the click.
TEST_F(LongCopy, WindowShowsProgressAndTakesNoInputUntilTheCopyEnds) {
  launch(QM_COPYTOOL_PATH, {"strace", "-f", "--seccomp-bpf", "-e", "trace=utimensat", "-e",
                            "inject=utimensat:delay_enter=300000", "-o", "/dev/null"});
  const std::string main = waitWindow("^QM\\(Quillmar\\)$");
  ASSERT_FALSE(main.empty());
  const fs::path before = base_ / "before.png";
  shoot(main, before);

  keys(main, "alt+c");
  const std::string confirm = waitWindow("^コピー$");
  ASSERT_FALSE(confirm.empty());
  keys(confirm, "alt+y");

  // The first picture once the band between Label3 and the buttons (96 dpi) has changed
  // while the rest looks as before (the confirmation's place repainted); the second a
  // second later.
  const int bandTop = 110, bandHeight = 26;
  const fs::path first = base_ / "progress-1.png", second = base_ / "progress-2.png";
  ASSERT_FALSE(waitFor([&] {
                 shoot(main, first);
                 const bool band = differingPixels(rows(before, bandTop, bandHeight, "b0"),
                                                   rows(first, bandTop, bandHeight, "b1")) > 0;
                 const bool rest = differingPixels(rows(before, 0, bandTop, "t0"),
                                                   rows(first, 0, bandTop, "t1")) == 0;
                 return band && rest ? std::string("shown") : std::string();
               }).empty())
      << "the window never showed the progress";
  std::this_thread::sleep_for(1000ms);
  shoot(main, second);

  auto copied = [&] {
    int n = 0;
    if (fs::exists(base_ / "dst" / "photos"))
      for (const auto& entry : fs::directory_iterator(base_ / "dst" / "photos"))
        n += entry.is_regular_file();
    return n;
  };
  ASSERT_LT(copied(), kFiles) << "the copy ended before the input could be tried";

  // Buttons at their table places (96 dpi): "やめる" at 232,136 153x41, Label3 at 80.
  xdo("mousemove --window " + main + " 300 156 click 1");
  keys(main, "alt+e");
  keys(main, "alt+F4");  // openbox asks the window to close, and pings it
  std::this_thread::sleep_for(3500ms);
  EXPECT_FALSE(prop(main, "_NET_WM_VISIBLE_NAME").find("Not Responding") != std::string::npos)
      << prop(main, "_NET_WM_VISIBLE_NAME");
  EXPECT_FALSE(windows("^QM\\(Quillmar\\)$").empty()) << "the window went away";

  const std::string done = waitWindow("^QM\\(Quillmar\\)$", {main});
  ASSERT_FALSE(done.empty()) << "no completion box";
  keys(done, "Return");
  EXPECT_TRUE(endsWithin());
  EXPECT_EQ(copied(), kFiles);

  // Only the free band changed, and it changed again.
  EXPECT_GT(differingPixels(rows(first, bandTop, bandHeight, "b1"),
                            rows(second, bandTop, bandHeight, "b2")),
            0);
  EXPECT_EQ(differingPixels(rows(before, 0, bandTop, "t0"), rows(second, 0, bandTop, "t2")), 0);
  EXPECT_EQ(differingPixels(rows(before, bandTop + bandHeight, 100, "u0"),
                            rows(second, bandTop + bandHeight, 100, "u2")),
            0);
#ifdef QM_PROGRESS_SHOTS
  fs::create_directories(QM_PROGRESS_SHOTS);
  fs::copy_file(first, fs::path(QM_PROGRESS_SHOTS) / "progress-1.png",
                fs::copy_options::overwrite_existing);
  fs::copy_file(second, fs::path(QM_PROGRESS_SHOTS) / "progress-2.png",
                fs::copy_options::overwrite_existing);
#endif
}

}  // namespace
}  // namespace qm::e2e
