// Runs tables of copies through the pipeline on the in-memory system and checks each outcome.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "copy/pipeline.h"
#include "copy/result.h"
#include "errors.h"
#include "fake_system.h"
#include "os/paths.h"

namespace qm::copy {
inline void PrintTo(const Problem& problem, std::ostream* out) {
  *out << "{" << problem.file << ": " << problem.cause << "}";
}
inline void PrintTo(const CopyCounts& c, std::ostream* out) {
  *out << "found " << c.found << " bytes " << c.bytesFound << " written " << c.written
       << " unchanged " << c.unchanged << " left out " << c.leftOut << " failed " << c.failed
       << " read back " << c.readBack;
}
}  // namespace qm::copy

namespace qm::fake {
inline void PrintTo(const Item& item, std::ostream* out) {
  *out << "{kind " << static_cast<int>(item.kind) << " \"" << item.bytes << "\" @" << item.modified
       << "}";
}
}  // namespace qm::fake

namespace qm::pipeline_cases {

using copy::CopyCounts;
using copy::Problem;
using fake::FakeSystem;
using fake::file;
using fake::folder;
using fake::Tree;

// Each case runs on the calling thread alone and with workers beside it: the same outcome.
inline constexpr unsigned kWorkerCounts[] = {1, 4};

// A path below the top as the report gives it, from one with '/'.
inline std::string rel(std::string path) {
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}
inline std::string dst(const std::string& path) {
  return FakeSystem::destinationPath(path);
}
inline std::string src(const std::string& path) {
  return FakeSystem::sourcePath(path);
}

// Runs the pipeline on `sys` and returns what the result reports.
inline copy::CopyResult runCopy(FakeSystem& sys, CopyOptions& options, CopyProgress& progress) {
  options.progress = &progress;
  try {
    copy::Pipeline<FakeSystem>(sys, options, sys.keptBytes).run([&](FakeSystem::Folder& top) {
      sys.openTop(top);
    });
  } catch (const RuntimeError& failure) {
    return copy::resultOf(progress, &failure);
  }
  return copy::resultOf(progress, nullptr);
}

using Setup = void (*)(FakeSystem&, CopyOptions&);
inline void nothing(FakeSystem&, CopyOptions&) {}

struct Expected {
  int number = 0;
  std::string path{};                  // what the run's error names
  std::vector<std::string> written{};  // files and specials whose bytes were written, sorted
  CopyCounts counts{};                 // found and bytesFound only where the walk is whole
  std::vector<Problem> failures{}, leftOut{};
  std::optional<Tree> after{};  // the destination afterwards; none: as it was
};

struct Case {
  const char* label;
  Tree source, destination;
  Setup setup;
  Expected expected;
  bool refusedFirst = false;  // the check refuses it: nothing written, no folder finished
};

// Files of the same name, by how the destination's copy compares with the source's.
inline const Tree kSource = {{"a", file("AA")}, {"b", file("B")}, {"c", file("C")}};

// The folders of a tree, with the top, as the fake names them.
inline std::set<std::string> foldersOf(const Tree& tree) {
  std::set<std::string> folders{""};
  for (const auto& [path, item] : fake::withParents(tree))
    if (item.kind == fake::Item::Kind::Folder) folders.insert(path);
  return folders;
}

// Runs `c` with `workers` and checks all it expects, and what holds of every run: a check
// that refused the copy wrote nothing, finished no folder and removed a top folder it made;
// a complete copy finished every folder and flushed; only the files read back wrong (their
// expected time -1) were spoiled.
inline void expectCase(const Case& c, unsigned workers) {
  SCOPED_TRACE(testing::Message() << c.label << ", workers " << workers);
  CopyOptions options;
  options.workers = workers;
  FakeSystem sys(options);
  sys.source = c.source;
  sys.destination = c.destination;
  c.setup(sys, options);
  const bool topMissing = !sys.destinationTopExists;
  CopyProgress progress;
  const copy::CopyResult result = runCopy(sys, options, progress);
  const Expected& e = c.expected;
  EXPECT_EQ(result.number, e.number);
  EXPECT_EQ(result.path, e.path);
  std::vector<std::string> written = sys.written;
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, e.written);
  CopyCounts counts = result.counts;
  if (c.refusedFirst) counts.found = counts.bytesFound = 0;  // the walk stops where it is
  EXPECT_EQ(counts, e.counts);
  EXPECT_EQ(result.failures, e.failures);
  EXPECT_EQ(result.leftOut, e.leftOut);
  EXPECT_EQ(sys.destination, fake::withParents(e.after.value_or(c.destination)));
  EXPECT_EQ(sys.discarded, c.refusedFirst && topMissing);
  EXPECT_EQ(sys.destinationTopExists, !sys.discarded);
  if (c.refusedFirst) {
    EXPECT_TRUE(sys.finished.empty());
  }
  if (e.number == 0) {
    EXPECT_EQ(sys.finished, foldersOf(c.source));
    EXPECT_GE(sys.flushes, 1);
  }
  std::set<std::string> spoiled;
  for (const auto& [path, item] : e.after.value_or(Tree{}))
    if (item.modified == -1) spoiled.insert(path);
  EXPECT_EQ(sys.spoiled, spoiled);
}

}  // namespace qm::pipeline_cases
