// The disk file-system object answers base names with the platform's path rules.
#include <gtest/gtest.h>

#include "ui/filesystem.h"

namespace qm {
namespace {

TEST(BaseName, DiskObjectUsesPlatformRules) {
  const auto object = createDiskFileSystemObject();
  EXPECT_EQ(object->GetBaseName("/home/u/proj.v2"), "proj");
  EXPECT_EQ(object->GetBaseName("/srv/data/"), "data");
}

}  // namespace
}  // namespace qm
