// The copy tool end to end onto FAT32 and exFAT volumes (FUSE): the completion box, the
// same contents, and a second run that writes nothing; onto a stick that gives back other
// bytes than it was given, never the completion box.
#include <sys/stat.h>

#include "fs_fuse_volume.h"
#include "os/codepage.h"
#include "qt_xvfb.h"

namespace qm::e2e {
namespace {

using qm::posix::testing::FuseVolume;

// Names and contents below `root`, and the inode of each file (a file written anew on a
// FUSE volume gets another while the volume stays mounted).
std::map<std::string, std::string> listing(const fs::path& root, bool withInodes) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      entries[name] = "folder";
      continue;
    }
    struct stat st {};
    ::stat(entry.path().c_str(), &st);
    entries[name] = (withInodes ? std::to_string(st.st_ino) + " " : "") + readBytes(entry.path());
  }
  return entries;
}

class VolumeJob : public XTest {
 protected:
  void writeSettings(const std::string& source, const std::string& dest, const std::string& base) {
    std::ofstream out(base_ / "cfg/Copy.Copy", std::ios::binary);
    for (const std::string& v : {source, dest, base})
      out << toAnsi("\"" + v + "\"", "test") << "\r\n";
  }

  // Runs the stored job in the copy tool; true when it showed the completion box and ended.
  bool runJob() {
    launch(QM_COPYTOOL_PATH);
    const std::string main = windowNamed("^QM\\(Quillmar\\)$");
    if (main.empty() || !copyWithKeyboard(main)) return false;
    return endsWithin();
  }

  // The band below the labels of `main`, where the progress and then the outcome stand
  // (pixels): how many colours it shows.
  int bandColours(const std::string& main) {
    return std::atoi(capture("import -display " + display_ + " -window " + main +
                             " -crop 540x20+20+112 -format '%k' info: 2>/dev/null")
                         .c_str());
  }

  // Starts the stored job in the running copy tool `main` and answers the two generic boxes
  // of a failed copy; false where they do not come. `shot` names a screenshot of the first.
  bool failsWithTheTwoBoxes(const std::string& main, const char* shot = nullptr) {
    pressIn(main, "alt+c");
    const std::string confirm = waitFor([&] { return otherWindow({main}); });
    if (confirm.empty()) return false;
    pressIn(confirm, "alt+y");
    std::vector<std::string> seen{main, confirm};
    for (int box = 0; box < 2; ++box) {
      const std::string generic = waitFor([&] { return otherWindow(seen); });
      if (generic.empty()) return false;
      EXPECT_EQ(capture("DISPLAY=" + display_ + " xdotool getwindowname " + generic),
                "QM(Quillmar)\n");
      if (box == 0 && shot && std::getenv("QM_SCREENS_DIR")) {
        waitDrawn(generic);
        screenshot(std::string(std::getenv("QM_SCREENS_DIR")) + "/" + shot);
      }
      pressIn(generic, "Return");
      seen.push_back(generic);
    }
    // The window stays: the completion box would have ended it.
    return !endsWithin(std::chrono::milliseconds(500));
  }

  // Whether the band of `main` comes to show a line.
  bool bandShowsALine(const std::string& main) {
    return !waitFor([&] {
              return bandColours(main) > 1 ? std::string("drawn") : std::string();
            }).empty();
  }
};

class CopyToolOntoVolume : public VolumeJob,
                           public ::testing::WithParamInterface<FuseVolume::Kind> {};

TEST_P(CopyToolOntoVolume, FolderCopiesWithTheCompletionBoxAndASecondRunWritesNothing) {
  // Regression: on FAT the run stopped after the first file; on exFAT every run rewrote
  // every file.
  if (IsSkipped()) return;
  const bool fat = GetParam() == FuseVolume::Kind::kFat32;
  // The FAT driver here takes ASCII names only; exFAT takes any.
  const std::string name = fat ? "Photos" : "写真";
  const fs::path source = base_ / "src" / name;
  fs::create_directories(source / (fat ? "2024/trip" : "旅行/二日目"));
  std::ofstream(source / "notes.txt") << "notes\n";
  std::ofstream(source / (fat ? "2024/trip/img1.jpg" : "旅行/二日目/画像.jpg"))
      << std::string(90000, 'j');
  std::ofstream(source / (fat ? "2024/empty.txt" : "旅行/空.txt"));
  fs::create_directories(base_ / "volume");
  FuseVolume volume(GetParam(), (base_ / "volume").string(), 64);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  writeSettings(source.string(), volume.mountPoint(), name);

  ASSERT_TRUE(runJob()) << "no completion box, or the copy tool did not end";
  const fs::path copy = fs::path(volume.mountPoint()) / name;
  EXPECT_EQ(listing(copy, false), listing(source, false));

  const auto before = listing(copy, true);
  ASSERT_TRUE(runJob()) << "the second run did not complete";
  EXPECT_EQ(listing(copy, true), before) << "the second run wrote files again";
}

// Regression: a name the stick cannot hold stopped the copy part-way, and the user saw the
// two generic boxes with no word of which file or why.
TEST_P(CopyToolOntoVolume, ANameTheStickCannotHoldGivesTheTwoBoxesThenTheWindowNamesTheFile) {
  if (IsSkipped()) return;
  const fs::path source = base_ / "src" / "Notes";
  fs::create_directories(source / "later");
  std::ofstream(source / "a.txt") << "A";
  std::ofstream(source / "why?.txt") << "?";
  std::ofstream(source / "later/z.txt") << "Z";
  fs::create_directories(base_ / "volume");
  FuseVolume volume(GetParam(), (base_ / "volume").string(), 64);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  writeSettings(source.string(), volume.mountPoint(), "Notes");
  launch(QM_COPYTOOL_PATH);
  const std::string main = windowNamed("^QM\\(Quillmar\\)$");
  ASSERT_FALSE(main.empty());
  waitDrawn(main);
  EXPECT_EQ(bandColours(main), 1) << "the band shows something before any copy";
  ASSERT_TRUE(failsWithTheTwoBoxes(main, "outcome-box-qt.png"));
  // Nothing was written, and the band now tells of the file.
  EXPECT_FALSE(fs::exists(fs::path(volume.mountPoint()) / "Notes"));
  EXPECT_TRUE(bandShowsALine(main)) << "the band shows no line";
  if (std::getenv("QM_SCREENS_DIR"))
    screenshot(std::string(std::getenv("QM_SCREENS_DIR")) + "/outcome-qt.png");
}

// Regression: a stick that handed back other bytes than it was given ended in the
// completion box.
TEST_F(VolumeJob, AStickThatGivesBackOtherBytesNeverEndsInTheCompletionBox) {
  if (IsSkipped()) return;
  const fs::path source = base_ / "src" / "Photos";
  fs::create_directories(source);
  std::ofstream(source / "a.txt") << "A";
  std::ofstream(source / "img-flip.jpg") << std::string(200000, 'j');
  fs::create_directories(base_ / "volume");
  FuseVolume volume(FuseVolume::Kind::kLying, (base_ / "volume").string(), 0);
  if (!volume.skipReason().empty()) GTEST_SKIP() << volume.skipReason();
  writeSettings(source.string(), volume.mountPoint(), "Photos");
  launch(QM_COPYTOOL_PATH);
  const std::string main = windowNamed("^QM\\(Quillmar\\)$");
  ASSERT_FALSE(main.empty());
  waitDrawn(main);
  ASSERT_TRUE(failsWithTheTwoBoxes(main)) << "the copy did not fail with the two boxes";
  EXPECT_TRUE(bandShowsALine(main)) << "the band shows no line";
  if (std::getenv("QM_SCREENS_DIR"))
    screenshot(std::string(std::getenv("QM_SCREENS_DIR")) + "/read-back-qt.png");
  const fs::path copy = fs::path(volume.mountPoint()) / "Photos";
  EXPECT_EQ(readBytes(copy / "a.txt"), "A");
  EXPECT_EQ(fs::file_size(copy / "img-flip.jpg"), 0u) << "the damaged copy still looks whole";
}

INSTANTIATE_TEST_SUITE_P(FatAndExfat, CopyToolOntoVolume,
                         ::testing::Values(FuseVolume::Kind::kFat32, FuseVolume::Kind::kExfat),
                         [](const auto& param) {
                           return param.param == FuseVolume::Kind::kFat32 ? "Fat32" : "Exfat";
                         });

}  // namespace
}  // namespace qm::e2e
