// Program start by bare name: where it is looked for, errors, and the detached start.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "errors.h"
#include "os/posix/process_posix.h"
#include "qt_test_util.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class ProgramStart : public testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("qm_process_test_" + std::to_string(getpid()));
    own_ = base_ / "own";
    cwd_ = base_ / "cwd";
    fs::remove_all(base_);
    fs::create_directories(own_);
    fs::create_directories(cwd_);
  }
  void TearDown() override { fs::remove_all(base_); }

  void script(const fs::path& path, const std::string& body, bool runnable = true) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, runnable ? fs::perms::owner_all : fs::perms::owner_read);
  }

  fs::path base_, own_, cwd_;
};

TEST_F(ProgramStart, NameIsLookedForInTheOwnFolderThenTheCurrentOne) {
  script(own_ / "QMS (QuillmarSetter)", "true");
  script(cwd_ / "QMS (QuillmarSetter)", "true");
  script(cwd_ / "QM(Quillmar)", "true");
  script(own_ / "plain.txt", "true", false);
  struct Case {
    const char* name;
    std::string found;  // empty: error
    int error;
  };
  const Case cases[] = {
      {"QMS (QuillmarSetter).exe", (own_ / "QMS (QuillmarSetter)").string(), 0},
      {"QMS (QuillmarSetter).EXE", (own_ / "QMS (QuillmarSetter)").string(), 0},
      {"QM(Quillmar).exe", (cwd_ / "QM(Quillmar)").string(), 0},
      {"QM(Quillmar)", (cwd_ / "QM(Quillmar)").string(), 0},
      {"Missing.exe", "", err::kFileNotFound},
      {".exe", "", err::kFileNotFound},
      {"plain.txt", "", err::kPermissionDenied},
  };
  for (const Case& c : cases) {
    try {
      EXPECT_EQ(resolveProgram(c.name, own_.string(), cwd_.string()), c.found) << c.name;
      EXPECT_EQ(c.error, 0) << c.name;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, c.error) << c.name;
    }
  }
}

TEST_F(ProgramStart, StartedProgramRunsDetachedAndLeavesNoZombie) {
  const fs::path marker = base_ / "started";
  script(own_ / "tool", "sleep 1; echo $PPID > '" + marker.string() + "'");
  startDetached(resolveProgram("tool.exe", own_.string(), cwd_.string()));
  // No wait for the program: its mark comes a second after it started (rather than a
  // bound on the time taken, which a loaded machine may exceed in starting a process).
  EXPECT_FALSE(fs::exists(marker));
  for (int i = 0; i < 200 && !fs::exists(marker); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(fs::exists(marker));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int parent = 0;
  std::ifstream(marker) >> parent;
  EXPECT_NE(parent, getpid());                   // not our child
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child left to reap
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProgramStart, AProgramThatCannotBeExecutedReportsAnError) {
  std::ofstream(own_ / "broken") << "not a program";
  fs::permissions(own_ / "broken", fs::perms::owner_all);
  try {
    startDetached((own_ / "broken").string());
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_NE(e.number, 0);
  }
}

TEST(QtBackendStart, MissingProgramIs53) {
  auto ui = qt::test::makeBackend();
  try {
    ui->startProgram("QMS (NoSuchProgram).exe", kNormalFocus);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kFileNotFound);
  }
}

}  // namespace
}  // namespace qm
