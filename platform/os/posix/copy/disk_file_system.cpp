// The file-system object backed by the real disk.
#include "base_name.h"
#include "copy_folder.h"
#include "filesystem.h"

namespace qm {

namespace {

class DiskFileSystemObject final : public FileSystemObject {
 public:
  std::string GetBaseName(std::string_view path) override { return platformBaseName(path); }

  void CopyFolder(std::string_view source, std::string_view destination,
                  bool overwriteFiles) override {
    CopyOptions options;
    options.overwrite = overwriteFiles;
    fs::copyFolder(source, destination, options);
  }
};

}  // namespace

std::unique_ptr<FileSystemObject> createDiskFileSystemObject() {
  return std::make_unique<DiskFileSystemObject>();
}

}  // namespace qm
