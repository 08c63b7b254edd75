// The setup tool's windows for the screenshots, each with sample content.
#include <filesystem>
#include <system_error>

#include "frmCopy.h"
#include "frmPicker.h"
#include "screens.h"

namespace qm::screens {

namespace {

namespace fs = std::filesystem;

// A small folder tree with Japanese names for the pickers' folder lists; it lies under
// the temporary folder, which is inside "/" (the drive "C:"), and is removed at exit.
class SampleTree {
 public:
  SampleTree() : top_(fs::temp_directory_path() / "qm_screens") {
    std::error_code ec;
    fs::remove_all(top_, ec);
    for (const char* d :
         {"書類/データ", "書類/写真", "書類/議事録", "バックアップ/2024年", "バックアップ/2025年"})
      fs::create_directories(top_ / d, ec);
  }
  ~SampleTree() {
    std::error_code ec;
    fs::remove_all(top_, ec);
  }
  SampleTree(const SampleTree&) = delete;
  SampleTree& operator=(const SampleTree&) = delete;

  std::string folder(const char* name) const { return (top_ / "").string() + name; }

 private:
  fs::path top_;
};

const SampleTree& sampleTree() {
  static const SampleTree tree;
  return tree;
}

void fillSettings(Form& f) {
  f.textBox("txtCopy1").setText("/home/user/書類/データ");
  f.textBox("txtCopy2").setText("/media/usb/バックアップ");
}

// The picker as it looks after the user chose a folder: drive "C:", the folder open in
// the list and its path in the name box.
void fillPicker(Form& f, const char* folder) {
  const std::string path = sampleTree().folder(folder);
  f.driveList("Drive1").setDrive("C:");
  f.dirList("Dir1").setPath(path);
  f.textBox("txtFileName").setText(path);
}

}  // namespace

std::vector<NamedLayout> setupToolLayouts() {
  return {
      {"frmCopy", &frmCopyLayout(), fillSettings},
      {"frmCopy1", &frmCopy1Layout(), [](Form& f) { fillPicker(f, "書類"); }},
      {"frmCopy2", &frmCopy2Layout(), [](Form& f) { fillPicker(f, "バックアップ"); }},
  };
}

}  // namespace qm::screens
