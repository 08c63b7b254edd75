// Folder trees for the copy scenarios: built from a table, read back into one, in a
// scratch folder of each test.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

namespace qm::scenario {

namespace stdfs = std::filesystem;

// A folder tree by relative path ('/' between components); folders end in '/' and hold "".
using Tree = std::map<std::string, std::string>;

inline stdfs::path fromUtf8(const std::string& s) {
  return stdfs::path(std::u8string(s.begin(), s.end()));
}

inline std::string toUtf8(const stdfs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

inline std::string readAll(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeAll(const stdfs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

inline Tree treeOf(const stdfs::path& root) {
  Tree out;
  if (!stdfs::is_directory(root)) return out;
  for (const auto& e : stdfs::recursive_directory_iterator(root)) {
    const std::string rel = toUtf8(e.path().lexically_relative(root).generic_u8string());
    out[e.is_directory() ? rel + "/" : rel] = e.is_directory() ? "" : readAll(e.path());
  }
  return out;
}

inline void build(const stdfs::path& root, const Tree& tree) {
  stdfs::create_directories(root);
  for (const auto& [rel, bytes] : tree) {
    const stdfs::path p = root / fromUtf8(rel);
    if (rel.ends_with('/')) {
      stdfs::create_directories(p);
    } else {
      stdfs::create_directories(p.parent_path());
      writeAll(p, bytes);
    }
  }
}

// A scratch folder of one test, removed with everything in it afterwards.
class Sandbox {
 public:
  Sandbox() {
    std::random_device random;
    root_ = stdfs::temp_directory_path() / ("qm-scenario-" + std::to_string(random()));
    stdfs::create_directories(root_);
  }
  ~Sandbox() {
    std::error_code ec;
    for (const auto& e : stdfs::recursive_directory_iterator(root_, ec))
      stdfs::permissions(e.path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
    stdfs::remove_all(root_, ec);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  const stdfs::path& root() const { return root_; }
  stdfs::path at(const std::string& rel) const { return root_ / fromUtf8(rel); }
  std::string text(const std::string& rel) const { return toUtf8(at(rel).make_preferred()); }

 private:
  stdfs::path root_;
};

}  // namespace qm::scenario
