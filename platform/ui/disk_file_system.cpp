// The file-system object backed by the real disk, on the copy engine of the system built for.
#include "base_name.h"
#include "copy/result.h"
#include "ui/filesystem.h"

namespace qm {

namespace {

class DiskFileSystemObject final : public FileSystemObject {
 public:
  explicit DiskFileSystemObject(CopyProgress* progress) : progress_(progress) {}

  std::string GetBaseName(std::string_view path) override { return platformBaseName(path); }

  void CopyFolder(std::string_view source, std::string_view destination,
                  bool overwriteFiles) override {
    const copy::CopyResult result =
        copy::copyFolder(source, destination, fileSystemObjectOptions(overwriteFiles), progress_);
    if (!result.complete()) throw result.error();
  }

 private:
  CopyProgress* progress_;
};

}  // namespace

std::unique_ptr<FileSystemObject> createDiskFileSystemObject(CopyProgress* progress) {
  return std::make_unique<DiskFileSystemObject>(progress);
}

}  // namespace qm
