// Base names for Windows and POSIX paths.
#include <gtest/gtest.h>

#include "base_name.h"

namespace qm {
namespace {

struct BaseNameCase {
  const char* path;
  const char* expected;
};

TEST(BaseName, WindowsPaths) {
  const BaseNameCase cases[] = {
      {"C:\\foo\\bar.txt", "bar"},
      {"C:\\foo\\", "foo"},
      {"C:\\foo.d\\", "foo"},
      {"a.b.c", "a.b"},
      {"C:\\foo\\.git", ""},
      {"C:\\", ""},
      {"C:", ""},
      {"", ""},
      {"C:/foo/bar.txt", "bar"},
      {"C:\\foo\\bar", "bar"},
      {"foo\\\\bar.x\\\\", "bar"},
      {"\\\\server\\share\\a.b", "a"},
      {"d:name.ext", "name"},
      {"/", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(baseNameOf(c.path, kWindowsPaths), c.expected) << c.path;
  }
}

TEST(BaseName, PosixPaths) {
  const BaseNameCase cases[] = {
      {"/home/u/proj.v2", "proj"},
      {"/", ""},
      {"///", ""},
      {"", ""},
      {"/a/b/", "b"},
      {"a.b.c", "a.b"},
      {"/a/.hidden", ""},
      {"/a/b\\c.d", "b\\c"},
      {"C:", "C:"},
      {"/x/archive.tar.gz", "archive.tar"},
      {"plain", "plain"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(baseNameOf(c.path, kPosixPaths), c.expected) << c.path;
    EXPECT_EQ(platformBaseName(c.path), c.expected) << c.path;
  }
}

}  // namespace
}  // namespace qm
