// The drive list and folder list widgets, on roots made in a temporary folder.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "errors.h"
#include "os/roots.h"
#include "qt_test_util.h"
#include "ui/qt/qt_lists.h"

namespace qm::qt {
namespace {

namespace fs = std::filesystem;

// clang-format off
// A picker-like window: a drive list above a folder list.
const FormLayout& listsLayout() {
  static const FormLayout layout{
    "frmLists", "一覧", 6570, 4545, StartUpPosition::CenterScreen, WindowIcon::SetupTool,
    {
      {ControlType::DirListBox,   "Dir1",   "", 120, 1440, 4335, 2820, 5},
      {ControlType::DriveListBox, "Drive1", "", 120, 960,  4335, 300,  4},
    }};
  return layout;
}
// clang-format on

class Lists : public testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(base_);
    for (const char* d : {"sys/etc", "sys/var", "home/docs/old", "home/music", "usb/photos"})
      fs::create_directories(base_ / d);
    // "C:" is sys, "A:" is home, the third root a volume; home lies outside sys here.
    roots_ = {{"C:", (base_ / "sys").string(), "C:"},
              {"A:", (base_ / "home").string(), "A:"},
              {(base_ / "usb").string(), (base_ / "usb").string(), "usb"}};
    ui_ = test::makeBackend();
    parent_ = std::make_unique<QWidget>();
  }
  void TearDown() override { fs::remove_all(base_); }

  std::string p(const char* rel) const { return (base_ / rel).string(); }
  const ControlRow& row(const char* name) const { return *findControl(listsLayout(), name); }

  // Regression: parallel test processes shared one folder and deleted it under each other.
  fs::path base_ = fs::temp_directory_path() / ("qm_lists_test_" + std::to_string(::getpid()));
  std::vector<Root> roots_;
  std::unique_ptr<QtBackend> ui_;
  std::unique_ptr<QWidget> parent_;
};

TEST_F(Lists, DriveListStartsOnTheCurrentFoldersRootAndChangesOnlyOnRealChange) {
  QtDriveList drives(parent_.get(), row("Drive1"), *ui_, roots_, p("home/docs"));
  EXPECT_EQ(drives.drive(), "A:");
  EXPECT_EQ(drives.widget()->count(), 3);
  int changes = 0;
  drives.Change = [&] { ++changes; };
  struct Step {
    std::string spec;
    std::string drive;
    int changes;
  };
  const Step steps[] = {
      {"A:", "A:", 0}, {"c:", "C:", 1}, {"C:", "C:", 0}, {p("usb"), p("usb"), 1}, {"A:", "A:", 1}};
  for (const Step& s : steps) {
    changes = 0;
    drives.setDrive(s.spec);
    EXPECT_EQ(drives.drive(), s.drive);
    EXPECT_EQ(changes, s.changes) << s.spec;
  }
  try {
    drives.setDrive("Q:");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kDeviceUnavailable);
  }
  EXPECT_EQ(drives.drive(), "A:");
}

TEST_F(Lists, UserPickRaisesChangeThroughTheDispatcher) {
  QtDriveList drives(parent_.get(), row("Drive1"), *ui_, roots_, p("home"));
  std::string seen;
  drives.Change = [&] { seen = drives.drive(); };
  emit drives.widget()->activated(0);
  EXPECT_EQ(seen, "C:");
}

TEST_F(Lists, FolderListShowsADrivesCurrentFolderAndRaisesChangeOnRealChange) {
  QtDirList dirs(parent_.get(), row("Dir1"), *ui_, roots_, p("home/docs"));
  EXPECT_EQ(dirs.path(), p("home/docs"));
  int changes = 0;
  dirs.Change = [&] { ++changes; };
  struct Step {
    std::string set;
    std::string path;
    int changes;
  };
  const Step steps[] = {
      {"A:", p("home/docs"), 0},  // the home root's current folder is the process's
      {"C:", p("sys"), 1},        // not inside C:: its root itself
      {p("sys/etc"), p("sys/etc"), 1},
      {p("sys/etc/"), p("sys/etc"), 0},
      {p("usb"), p("usb"), 1},
      {"A:", p("home/docs"), 1},
  };
  for (const Step& s : steps) {
    changes = 0;
    dirs.setPath(s.set);
    EXPECT_EQ(dirs.path(), s.path) << s.set;
    EXPECT_EQ(changes, s.changes) << s.set;
  }
}

TEST_F(Lists, FolderTreeShowsTheChainIndentedThenTheSubfolders) {
  QtDirList dirs(parent_.get(), row("Dir1"), *ui_, roots_, p("home/docs"));
  QTreeWidget* tree = dirs.widget();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* top = tree->topLevelItem(0);
  EXPECT_EQ(top->text(0).toStdString(), p("home"));
  ASSERT_EQ(top->childCount(), 1);
  QTreeWidgetItem* docs = top->child(0);
  EXPECT_EQ(docs->text(0), QStringLiteral("docs"));
  EXPECT_EQ(tree->currentItem(), docs);
  ASSERT_EQ(docs->childCount(), 1);
  EXPECT_EQ(docs->child(0)->text(0), QStringLiteral("old"));
  EXPECT_FALSE(docs->child(0)->icon(0).isNull());
}

// Regression: past about 20 levels the indent pushed the names out of sight, and the list
// had no way across to them.
TEST_F(Lists, ADeepFolderAndItsSubfoldersStayInSight) {
  fs::path deep = base_ / "home";
  for (int level = 0; level < 30; ++level) deep /= "深い" + std::to_string(level);
  fs::create_directories(deep / "下");
  parent_->resize(400, 300);
  QtDirList dirs(parent_.get(), row("Dir1"), *ui_, roots_, deep.string());
  parent_->show();
  DirTree* tree = dirs.widget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(parent_.get()));
  dirs.setPath(deep.string());
  QTreeWidgetItem* shown = tree->currentItem();
  ASSERT_NE(shown, nullptr);
  ASSERT_EQ(shown->childCount(), 1);
  EXPECT_GT(tree->horizontalScrollBar()->maximum(), 0) << "no way across to the deep names";
  const QRect viewport = tree->viewport()->rect();
  // The names of the folder and of its subfolder, icon and all, within the view.
  for (QTreeWidgetItem* item : {shown, shown->child(0)}) {
    const QRect at = tree->visualItemRect(item);
    const int end =
        at.left() + tree->iconSize().width() + tree->fontMetrics().horizontalAdvance(item->text(0));
    EXPECT_GE(at.left(), 0) << item->text(0).toStdString();
    EXPECT_LE(end, viewport.width()) << item->text(0).toStdString();
  }
}

TEST_F(Lists, AFolderThatCannotBeListedIsAnErrorAndChangesNothing) {
  QtDirList dirs(parent_.get(), row("Dir1"), *ui_, roots_, p("home"));
  int changes = 0;
  dirs.Change = [&] { ++changes; };
  try {
    dirs.setPath(p("home/missing"));
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPathNotFound);
    EXPECT_EQ(e.path, p("home/missing"));
  }
  fs::remove_all(base_ / "usb");  // a volume that went away
  try {
    dirs.setPath(p("usb"));
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kPathNotFound);
  }
  EXPECT_EQ(dirs.path(), p("home"));
  EXPECT_EQ(changes, 0);
}

TEST_F(Lists, DoubleClickAndEnterOpenAFolder) {
  parent_->resize(400, 300);
  QtDirList dirs(parent_.get(), row("Dir1"), *ui_, roots_, p("home"));
  std::vector<std::string> seen;
  dirs.Change = [&] { seen.push_back(dirs.path()); };
  parent_->show();
  (void)QTest::qWaitForWindowExposed(parent_.get());
  QTreeWidget* tree = dirs.widget();
  QTreeWidgetItem* music = tree->topLevelItem(0)->child(1);
  ASSERT_EQ(music->text(0), QStringLiteral("music"));
  const QPoint at = tree->visualItemRect(music).center();
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.size() == 1; }, 2000)) << seen.size();
  EXPECT_EQ(seen.back(), p("home/music"));

  tree->setCurrentItem(tree->topLevelItem(0));  // the root "home" above "music"
  tree->setFocus();
  QTest::keyClick(tree, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.size() == 2; }, 2000)) << seen.size();
  EXPECT_EQ(seen.back(), p("home"));
}

// Regression: opening a volume's top folder from inside the volume showed the process's
// current folder again, because the mount path was read as the volume's drive spec.
TEST_F(Lists, OpeningAVolumesTopFolderFromInsideItShowsThatFolder) {
  parent_->resize(400, 300);
  QtDirList dirs(parent_.get(), row("Dir1"), *ui_, roots_, p("usb/photos"));
  std::vector<std::string> seen;
  dirs.Change = [&] { seen.push_back(dirs.path()); };
  parent_->show();
  (void)QTest::qWaitForWindowExposed(parent_.get());
  QTreeWidget* tree = dirs.widget();
  QTreeWidgetItem* top = tree->topLevelItem(0);
  ASSERT_EQ(top->text(0).toStdString(), p("usb"));

  tree->setCurrentItem(top);
  tree->setFocus();
  QTest::keyClick(tree, Qt::Key_Return);
  // (The waits assert their result: QTest's own QTRY_ macros would report to QTest only.)
  EXPECT_TRUE(QTest::qWaitFor([&] { return !seen.empty(); }, 2000));
  EXPECT_EQ(dirs.path(), p("usb"));

  // The volume's spec, as the drive list hands it on, still means its current folder.
  dirs.setPath(p("usb"));
  EXPECT_EQ(dirs.path(), p("usb/photos"));
  // Opened from there, the top folder is that folder again.
  dirs.widget()->onOpen(QString::fromStdString(p("usb")));
  EXPECT_EQ(dirs.path(), p("usb"));
  EXPECT_EQ(seen, (std::vector<std::string>{p("usb"), p("usb/photos"), p("usb")}));
}

// The same with a real volume from the mounts table: a tmpfs under /mnt, mounted in a
// mount namespace of this test process alone. Skipped where mounting is not allowed.
TEST_F(Lists, AMountedVolumesTopFolderOpensFromAFolderInsideIt) {
  if (::unshare(CLONE_NEWNS) != 0) GTEST_SKIP() << "no mount namespace of its own (needs root)";
  ASSERT_EQ(::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
  ASSERT_EQ(::mount("qm_test", "/mnt", "tmpfs", 0, nullptr), 0);  // hides /mnt from this process
  fs::create_directories("/mnt/usb");
  ASSERT_EQ(::mount("qm_test", "/mnt/usb", "tmpfs", 0, nullptr), 0);
  fs::create_directories("/mnt/usb/photos/2024");
  const fs::path before = fs::current_path();
  fs::current_path("/mnt/usb/photos");

  auto form = ui_->createForm(listsLayout());
  DirListBox& dir1 = form->dirList("Dir1");
  EXPECT_EQ(form->driveList("Drive1").drive(), "/mnt/usb");
  EXPECT_EQ(dir1.path(), "/mnt/usb/photos");
  test::showAndWait(*form);
  auto* tree = static_cast<QTreeWidget*>(test::qtForm(*form).widget("Dir1"));
  ASSERT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("/mnt/usb"));
  tree->setCurrentItem(tree->topLevelItem(0));
  tree->setFocus();
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dir1.path() == "/mnt/usb"; }, 2000)) << dir1.path();
  fs::current_path(before);
}

TEST_F(Lists, FormStartsOnTheProcessFolderAndItsRoot) {
  auto form = ui_->createForm(listsLayout());
  const std::vector<Root> system = systemDriveRoots();
  EXPECT_EQ(form->dirList("Dir1").path(), currentFolder());
  EXPECT_EQ(form->driveList("Drive1").drive(), rootOf(system, currentFolder())->spec);
  EXPECT_EQ(test::qtForm(*form).widget("Dir1")->geometry(), QRect(8, 96, 289, 188));
  EXPECT_EQ(test::qtForm(*form).widget("Drive1")->geometry(), QRect(8, 64, 289, 20));
}

}  // namespace
}  // namespace qm::qt
