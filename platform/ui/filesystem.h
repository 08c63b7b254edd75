// The file-system object: base names and folder copies, created afresh per use.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "copy/options.h"

namespace qm {

inline constexpr std::string_view kFileSystemObjectId = "Scripting.FileSystemObject";

class FileSystemObject {
 public:
  virtual ~FileSystemObject() = default;
  // The last component of `path` without the part from its last dot on.
  virtual std::string GetBaseName(std::string_view path) = 0;
  // Copies the folder `source` to `destination`; throws RuntimeError on failure.
  virtual void CopyFolder(std::string_view source, std::string_view destination,
                          bool overwriteFiles) = 0;
};

// What CopyFolder's `overwriteFiles` means: files the destination holds are replaced where
// they no longer hold the copy of their source, or else the copy stops with 58.
inline CopyOptions fileSystemObjectOptions(bool overwriteFiles) {
  CopyOptions options;
  options.existing = overwriteFiles ? ExistingFile::ReplaceIfChanged : ExistingFile::Refuse;
  return options;
}

// The object backed by the real disk, without windows (the windows get the busy one). With
// `progress`, its copies count what they found and finished there (see copy/progress.h).
std::unique_ptr<FileSystemObject> createDiskFileSystemObject(CopyProgress* progress = nullptr);

}  // namespace qm
