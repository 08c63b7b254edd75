// The drive list and the folder list of the Qt backend.
#pragma once

#include <QComboBox>
#include <QObject>
#include <QTreeWidget>
#include <functional>
#include <vector>

#include "os/roots.h"
#include "ui/backend.h"
#include "ui/control_core.h"
#include "ui/layout.h"

namespace qm::qt {

// A combo box of the roots. The user's pick and setDrive raise Change only when the
// drive really changes; an unknown spec throws RuntimeError 68.
class QtDriveList : public DriveListCore {
 public:
  QtDriveList(QWidget* parent, const ControlRow& row, Backend& backend, std::vector<Root> roots,
              const std::string& cwd);
  QComboBox* widget() const { return combo_; }

 protected:
  std::string selectDrive(std::string_view spec) override;

 private:
  QComboBox* combo_;
  std::vector<Root> roots_;
  QObject guard_;
};

// The folder tree: the folders from the root down to the current one, indented, then
// the current folder's subfolders. Double-click or Enter opens a folder.
class DirTree : public QTreeWidget {
 public:
  explicit DirTree(QWidget* parent) : QTreeWidget(parent) {}
  std::function<void(const QString&)> onOpen;  // the folder the user opened
  // Scrolls across so that the current folder's name and its subfolders' begin in sight,
  // with the indent of the levels above out of sight to the left: deep folders stay
  // readable.
  void showCurrentAcross();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // The scroll range is known only once the list is laid out at its size.
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void openLater(QTreeWidgetItem* item);
};

class QtDirList : public DirListCore {
 public:
  QtDirList(QWidget* parent, const ControlRow& row, Backend& backend, std::vector<Root> roots,
            const std::string& cwd);
  DirTree* widget() const { return tree_; }

 protected:
  // A root's spec shows the root's current folder; a folder that cannot be listed
  // throws RuntimeError (76 missing, 68 otherwise) and leaves the list as it was.
  std::string openFolder(std::string_view path) override;
  // The user opened `folder` in the tree: that folder itself, never a drive's.
  std::string openListedFolder(const std::string& folder) override;

 private:
  // Lists `target` and shows it with its chain from `top` (or from its own root when it
  // lies outside `top`); returns it.
  std::string showFolder(const std::string& target, std::string top);
  // Shows `folder` with its chain from `top` and its subfolders.
  void show(const std::string& top, const std::string& folder,
            const std::vector<std::string>& subfolders);

  DirTree* tree_;
  std::vector<Root> roots_;
  std::string cwd_;
  std::string top_;  // where the shown chain starts
};

}  // namespace qm::qt
