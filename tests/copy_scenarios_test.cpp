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

#include "ui/filesystem.h"
#include "copy/progress.h"
#include "errors.h"
#include "copy/copy_folder.h"
#include "scenario_tree.h"

namespace qm {
namespace {

using namespace qm::scenario;
namespace stdfs = std::filesystem;

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

// The destination spelled two ways: plainly, and as an existing folder followed by a
// separator (the copy then lands under the source's own name).
enum Spelling { kPlain, kTrailingSeparator };

struct Combination {
  int shape, state;
  Spelling spelling;
};

// Every shape into every state in every spelling.
std::vector<Combination> allCombinations() {
  std::vector<Combination> out;
  for (int shape = 0; shape < static_cast<int>(std::size(kSourceShapes)); ++shape)
    for (int state = 0; state < static_cast<int>(std::size(kDestinationStates)); ++state)
      for (Spelling s : {kPlain, kTrailingSeparator}) out.push_back({shape, state, s});
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
  const std::string target = "out/元";
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
  const char* spellings[] = {"Plain", "Separator"};
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
    // Regression: a stick not plugged in, or a mistyped destination, got a copy in the wrong
    // place with every folder above it made.
    {"the folder above the destination is missing", kWorld, "src", "out/x/y", true,
     err::kPathNotFound, "x", true},
    {"trailing separator on a file", kWorld, "src", "file/", true, err::kFileExists, "file", true},
    // Regression: files were written before the copy met the file in the folder's place.
    {"a file where the copy needs a child folder", with(kWorld, {{"out/sub", "S"}}), "src", "out",
     true, err::kFileExists, "sub", true},
    // Regression: files were written before the copy failed (75) on the folder in a file's
    // place.
    {"a folder where the copy needs a file", with(kWorld, {{"out/a.txt/", ""}}), "src", "out", true,
     err::kFileExists, "a.txt", true},
    {"a folder where the copy needs a file, one folder down",
     with(kWorld, {{"out/sub/", ""}, {"out/sub/b.txt/", ""}, {"out/sub/b.txt/keep", "K"}}), "src",
     "out", true, err::kFileExists, "b.txt", true},
    // Regression: without overwrite, the files listed before an existing one were written
    // before the copy stopped at it.
    {"existing file without overwrite", with(kWorld, {{"out/sub/", ""}, {"out/sub/b.txt", "old"}}),
     "src", "out", false, err::kFileExists, "b.txt", true},
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

// ---- Policies: the same options give the same copy on every system. ----

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// The error of a copy with `options`; number 0 when it succeeds.
RuntimeError copyWith(const Sandbox& box, const CopyOptions& options) {
  try {
    copy::copyFolderOrThrow(box.text("src"), box.text("out"), options);
  } catch (const RuntimeError& e) {
    return e;
  }
  return RuntimeError(0, "", "");
}

// Regression: without overwriting, an unchanged file stopped the copy with 58 on Linux
// and was skipped on Windows.
TEST(CopyPolicies, AnExistingFileIsWrittenKeptOrRefusedAsThePolicySays) {
  const struct {
    ExistingFile policy;
    int number;
    std::uint64_t written;  // files written by the second run
  } cases[] = {{ExistingFile::Replace, 0, 2},
               {ExistingFile::ReplaceIfChanged, 0, 0},
               {ExistingFile::Refuse, err::kFileExists, 0}};
  for (const auto& c : cases) {
    Sandbox box;
    build(box.at("src"), kSource);
    ASSERT_EQ(copyWith(box, {}).number, 0);
    CopyProgress progress;
    CopyOptions options;
    options.existing = c.policy;
    options.progress = &progress;
    EXPECT_EQ(copyWith(box, options).number, c.number) << static_cast<int>(c.policy);
    EXPECT_EQ(progress.filesWritten.load(), c.written) << static_cast<int>(c.policy);
    EXPECT_EQ(treeOf(box.at("out")), kSource);
  }
}

// A link to a file and a link to a folder in the source, copied under each link policy.
// Windows follows links whatever the option says: making them needs a privilege.
TEST(CopyPolicies, LinksAreCopiedAsLinksOrFollowedAsThePolicySays) {
  const struct {
    const char* what;
    Links policy;
    bool followed;  // on Linux
  } cases[] = {{"the system's own", kSystemLinks, kSystemLinks == Links::Follow},
               {"as links", Links::AsLinks, false},
               {"followed", Links::Follow, true},
               {"by volume, onto one that holds links", Links::ByVolume, false}};
  for (const auto& c : cases) {
    Sandbox box;
    build(box.root(), with(under("src", kSource), {{"other/", ""}, {"other/c.txt", "CCC"}}));
    std::error_code ec;
    stdfs::create_symlink(box.at("src/a.txt"), box.at("src/file-link"), ec);
    if (!ec) stdfs::create_directory_symlink(box.at("other"), box.at("src/folder-link"), ec);
    if (ec) GTEST_SKIP() << "no links here: " << ec.message();
    CopyOptions options;
    options.links = c.policy;
    ASSERT_EQ(copyWith(box, options).number, 0) << c.what;
    const bool followed = kWindows || c.followed;
    EXPECT_EQ(stdfs::is_symlink(box.at("out/file-link")), !followed) << c.what;
    EXPECT_EQ(stdfs::is_symlink(box.at("out/folder-link")), !followed) << c.what;
    EXPECT_EQ(readAll(box.at("out/file-link")), "A") << c.what;
    EXPECT_EQ(readAll(box.at("out/folder-link/c.txt")), "CCC") << c.what;
  }
}

// Regression: a link to one of its own ancestors refused the whole copy, on every run.
TEST(CopyPolicies, AFollowedLinkToItsOwnAncestorIsLeftOutAndTheRestCopied) {
  Sandbox box;
  build(box.at("src"), kSource);
  std::error_code ec;
  stdfs::create_directory_symlink(box.at("src"), box.at("src/sub/up"), ec);
  if (ec) GTEST_SKIP() << "no links here: " << ec.message();
  CopyProgress progress;
  CopyOptions options;
  options.links = Links::Follow;
  options.progress = &progress;
  EXPECT_EQ(copyWith(box, options).number, 0);
  EXPECT_EQ(treeOf(box.at("out")), kSource);
  const std::vector<copy::Problem> expected = {
      {"sub" + kSeparator + "up", copy::leftOutCause(copy::LeftOut::Cycle)}};
  EXPECT_EQ(progress.report.leftOut(), expected);
  EXPECT_EQ(progress.report.failureCount(), 0u);
}

}  // namespace
}  // namespace qm
