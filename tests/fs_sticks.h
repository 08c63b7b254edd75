// The FUSE sticks the parameterized suites of the copy run on, and their names in tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fs_fuse_volume.h"

namespace qm::posix::testing {

// The sticks the parameterized suites run on, and their names in the tests' names.
inline const auto kSticks = ::testing::Values(FuseVolume::Kind::kFat32, FuseVolume::Kind::kExfat,
                                              FuseVolume::Kind::kNormalizing);
inline std::string stickName(const ::testing::TestParamInfo<FuseVolume::Kind>& param) {
  switch (param.param) {
    case FuseVolume::Kind::kFat32: return "Fat32";
    case FuseVolume::Kind::kExfat: return "Exfat";
    default: return "NormalizingShare";
  }
}

}  // namespace qm::posix::testing
