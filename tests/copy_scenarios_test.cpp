// One table of folder-copy scenarios run against whichever copy engine the platform builds.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "copy/filesystem.h"
#include "errors.h"

namespace qm {
namespace {

namespace stdfs = std::filesystem;

// A folder tree by relative path ('/' between components); folders end in '/' and hold "".
using Tree = std::map<std::string, std::string>;

stdfs::path fromUtf8(const std::string& s) {
  return stdfs::path(std::u8string(s.begin(), s.end()));
}

std::string toUtf8(const stdfs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::string readAll(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const stdfs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

Tree treeOf(const stdfs::path& root) {
  Tree out;
  if (!stdfs::is_directory(root)) return out;
  for (const auto& e : stdfs::recursive_directory_iterator(root)) {
    const std::string rel = toUtf8(e.path().lexically_relative(root).generic_u8string());
    out[e.is_directory() ? rel + "/" : rel] = e.is_directory() ? "" : readAll(e.path());
  }
  return out;
}

void build(const stdfs::path& root, const Tree& tree) {
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

// The error a copy throws; number 0 when it succeeds.
RuntimeError copyResult(const std::string& source, const std::string& destination, bool overwrite) {
  try {
    createDiskFileSystemObject()->CopyFolder(source, destination, overwrite);
  } catch (const RuntimeError& e) {
    return e;
  }
  return RuntimeError(0, "", "");
}

const std::string kSeparator = toUtf8(stdfs::path("/").make_preferred());

// ---- Successful copies: every source shape into every destination state. ----

struct SourceShape {
  const char* label;
  Tree tree;
};

const SourceShape kSourceShapes[] = {
    {"empty folder", {}},
    {"flat files, one empty", {{"a.txt", "A"}, {"empty", ""}, {"b.bin", std::string(70000, 'b')}}},
    {"nested with an empty folder",
     {{"a.txt", "A"},
      {"sub/", ""},
      {"sub/b.txt", "BB"},
      {"sub/deeper/", ""},
      {"sub/deeper/c", "C"},
      {"void/", ""}}},
    {"Japanese names", {{"データ.txt", "日本"}, {"下/", ""}, {"下/空/", ""}, {"下/表.csv", "1,2"}}},
};

// What the destination holds before the copy. The copy replaces the files the source
// has too and keeps the others.
struct DestinationState {
  const char* label;
  bool exists;  // the destination folder is there before the copy
  Tree before;  // below the destination folder
};

// An old copy shares some names with the sources: "a.txt" (other size), "データ.txt" (same
// size, older time), and holds files and folders of its own.
const DestinationState kDestinationStates[] = {
    {"absent", false, {}},
    {"empty folder", true, {}},
    {"old copy with own files",
     true,
     {{"a.txt", "old A"},
      {"データ.txt", "古い"},
      {"own.txt", "mine"},
      {"ownfolder/", ""},
      {"sub/", ""},
      {"sub/own", "o"}}},
};

// The destination spelled three ways: plainly, below missing parents, and as an existing
// folder followed by a separator (the copy then lands under the source's own name).
enum Spelling { kPlain, kMissingParents, kTrailingSeparator };

struct Combination {
  int shape, state;
  Spelling spelling;
};

// Every shape into every state in every spelling; missing parents only where the
// destination folder is absent too.
std::vector<Combination> allCombinations() {
  std::vector<Combination> out;
  for (int shape = 0; shape < static_cast<int>(std::size(kSourceShapes)); ++shape)
    for (int state = 0; state < static_cast<int>(std::size(kDestinationStates)); ++state)
      for (Spelling s : {kPlain, kMissingParents, kTrailingSeparator})
        if (s != kMissingParents || !kDestinationStates[state].exists)
          out.push_back({shape, state, s});
  return out;
}

void PrintTo(const Combination& c, std::ostream* out) {
  *out << kSourceShapes[c.shape].label << " / " << kDestinationStates[c.state].label << " / "
       << c.spelling;
}

class CopyScenarios : public ::testing::TestWithParam<Combination> {};

TEST_P(CopyScenarios, TheDestinationHoldsTheSourceTreeAndKeepsItsOwnFiles) {
  const auto [shapeIndex, stateIndex, spelling] = GetParam();
  const SourceShape& shape = kSourceShapes[shapeIndex];
  const DestinationState& state = kDestinationStates[stateIndex];
  Sandbox box;
  build(box.at("元"), shape.tree);
  const auto sourceTime = stdfs::file_time_type::clock::now() - std::chrono::hours(2);
  for (const auto& [rel, bytes] : shape.tree)
    if (!rel.ends_with('/')) stdfs::last_write_time(box.at("元/" + rel), sourceTime);
  std::string target = spelling == kMissingParents ? "out/x/y/元" : "out/元";
  stdfs::create_directories(box.at("out"));
  if (state.exists) build(box.at(target), state.before);
  for (const auto& [rel, bytes] : state.before)
    if (!rel.ends_with('/'))
      stdfs::last_write_time(box.at(target + "/" + rel), sourceTime - std::chrono::hours(1));
  const std::string destination =
      spelling == kTrailingSeparator ? box.text("out") + kSeparator : box.text(target);

  const RuntimeError e = copyResult(box.text("元"), destination, true);
  ASSERT_EQ(e.number, 0) << e.path;
  Tree expected = state.before;
  for (const auto& [rel, bytes] : shape.tree) expected[rel] = bytes;
  EXPECT_EQ(treeOf(box.at(target)), expected);
  EXPECT_EQ(treeOf(box.at("元")), shape.tree) << "the source changed";
  for (const auto& [rel, bytes] : shape.tree) {
    if (rel.ends_with('/')) continue;
    EXPECT_EQ(stdfs::last_write_time(box.at(target + "/" + rel)),
              stdfs::last_write_time(box.at("元/" + rel)))
        << rel;
  }
}

std::string alnum(const std::string& text) {
  std::string out;
  for (char c : text)
    if (std::isalnum(static_cast<unsigned char>(c))) out += c;
  return out;
}

std::string combinationName(const ::testing::TestParamInfo<Combination>& info) {
  const char* spellings[] = {"Plain", "MissingParents", "Separator"};
  return alnum(kSourceShapes[info.param.shape].label) + "_" +
         alnum(kDestinationStates[info.param.state].label) + "_" + spellings[info.param.spelling];
}

INSTANTIATE_TEST_SUITE_P(AllShapes, CopyScenarios, ::testing::ValuesIn(allCombinations()),
                         combinationName);

// ---- Faults: what the run reports, what it names, and what it leaves. ----

struct Fault {
  const char* label;
  Tree world;               // the sandbox before the copy; the source is "src"
  std::string source;       // relative to the sandbox; "" passes an empty path
  std::string destination;  // relative; a trailing "/" becomes the platform's separator
  bool overwrite;
  int number;
  const char* names;   // a part the error's path must contain; nullptr: not checked
  bool writesNothing;  // the sandbox is as before the run
};

const Tree kSource = {{"a.txt", "A"}, {"sub/", ""}, {"sub/b.txt", "BB"}};

Tree with(Tree base, const Tree& more) {
  for (const auto& [rel, bytes] : more) base[rel] = bytes;
  return base;
}

Tree under(const std::string& folder, const Tree& tree) {
  Tree out{{folder + "/", ""}};
  for (const auto& [rel, bytes] : tree) out[folder + "/" + rel] = bytes;
  return out;
}

const Tree kWorld = with(under("src", kSource), {{"out/", ""}, {"file", "F"}});

const Fault kFaults[] = {
    {"source missing", kWorld, "none", "out/x", true, err::kPathNotFound, "none", true},
    {"source is a file", kWorld, "file", "out/x", true, err::kPathNotFound, "file", true},
    {"source path empty", kWorld, "", "out/x", true, err::kPathNotFound, nullptr, true},
    {"destination path empty", kWorld, "src", "", true, err::kPathNotFound, nullptr, true},
    {"trailing separator on a missing folder", kWorld, "src", "none/", true, err::kPathNotFound,
     "none", true},
    {"destination is a file", kWorld, "src", "file", true, err::kFileExists, "file", true},
    {"a parent of the destination is a file", kWorld, "src", "file/x/y", true, err::kFileExists,
     "file", true},
    {"trailing separator on a file", kWorld, "src", "file/", true, err::kFileExists, "file", true},
    {"a file where the copy needs a child folder", with(kWorld, {{"out/sub", "S"}}), "src", "out",
     true, err::kFileExists, "sub", false},
    {"a folder where the copy needs a file", with(kWorld, {{"out/a.txt/", ""}}), "src", "out", true,
     err::kPathFileAccess, "a.txt", false},
    {"existing file without overwrite", with(kWorld, {{"out/a.txt", "old"}}), "src", "out", false,
     err::kFileExists, "a.txt", false},
    {"destination is the source", kWorld, "src", "src", true, err::kPathFileAccess, "src", true},
    {"destination inside the source", kWorld, "src", "src/sub/new", true, err::kPathFileAccess,
     "src", true},
    {"destination inside the source through dot dot", kWorld, "src", "out/../src/x", true,
     err::kPathFileAccess, "src", true},
    {"destination ending in dot dot", with(kWorld, {{"out/deep/", ""}}), "src", "out/deep/..", true,
     err::kPathFileAccess, "..", true},
    {"destination ending in dot", kWorld, "src", "out/.", true, err::kPathFileAccess, "out", true},
};

void PrintTo(const Fault& f, std::ostream* out) {
  *out << f.label;
}

class CopyFaults : public ::testing::TestWithParam<Fault> {};

std::string spelled(const Sandbox& box, const std::string& rel) {
  if (rel.empty()) return "";
  if (rel.ends_with('/')) return box.text(rel.substr(0, rel.size() - 1)) + kSeparator;
  std::string out = box.text("");
  if (!out.ends_with(kSeparator)) out += kSeparator;
  // Components such as ".." are kept as written: a path object would not fold them either.
  for (char c : rel) out += c == '/' ? kSeparator : std::string(1, c);
  return out;
}

TEST_P(CopyFaults, TheRunReportsTheRulesNumberAndNamesTheFile) {
  const Fault& f = GetParam();
  Sandbox box;
  build(box.root(), f.world);
  const RuntimeError e = copyResult(f.source.empty() ? "" : box.text(f.source),
                                    spelled(box, f.destination), f.overwrite);
  EXPECT_EQ(e.number, f.number) << f.label << ": " << e.path;
  if (f.names != nullptr) {
    EXPECT_NE(e.path.find(f.names), std::string::npos) << e.path;
  }
  if (f.writesNothing) {
    EXPECT_EQ(treeOf(box.root()), f.world) << "written to before failing";
  }
  EXPECT_EQ(treeOf(box.at("src")), kSource) << "the source changed";
}

std::string faultName(const ::testing::TestParamInfo<Fault>& info) {
  return alnum(info.param.label);
}

INSTANTIATE_TEST_SUITE_P(Table, CopyFaults, ::testing::ValuesIn(kFaults), faultName);

}  // namespace
}  // namespace qm
