// The copy tool end to end onto FAT32 and exFAT volumes (FUSE): the completion box, the
// same contents, and a second run that writes nothing.
#include <sys/stat.h>

#include "fs_fuse_volume.h"
#include "os/codepage.h"
#include "qt_xvfb.h"

namespace qm::e2e {
namespace {

using qm::fs::testing::FuseVolume;

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

class CopyToolOntoVolume : public XTest, public ::testing::WithParamInterface<FuseVolume::Kind> {
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
};

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

INSTANTIATE_TEST_SUITE_P(FatAndExfat, CopyToolOntoVolume,
                         ::testing::Values(FuseVolume::Kind::kFat32, FuseVolume::Kind::kExfat),
                         [](const auto& param) {
                           return param.param == FuseVolume::Kind::kFat32 ? "Fat32" : "Exfat";
                         });

}  // namespace
}  // namespace qm::e2e
