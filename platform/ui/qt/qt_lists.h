// The drive list and the folder list of the Qt backend.
#pragma once

#include <QComboBox>
#include <QObject>
#include <QTreeWidget>
#include <functional>
#include <vector>

#include "backend.h"
#include "controls.h"
#include "drives.h"
#include "layout.h"

namespace qm::qt {

// A combo box of the roots. The user's pick and setDrive raise Change only when the
// drive really changes; an unknown spec throws RuntimeError 68.
class QtDriveList : public DriveListBox {
 public:
  QtDriveList(QWidget* parent, const ControlRow& row, Backend& backend, std::vector<Root> roots,
              const std::string& cwd);
  std::string drive() const override { return drive_; }
  void setDrive(std::string_view spec) override;
  QComboBox* widget() const { return combo_; }

 private:
  QComboBox* combo_;
  std::vector<Root> roots_;
  std::string drive_;
  QObject guard_;
};

// The folder tree: the folders from the root down to the current one, indented, then
// the current folder's subfolders. Double-click or Enter opens a folder.
class DirTree : public QTreeWidget {
 public:
  explicit DirTree(QWidget* parent) : QTreeWidget(parent) {}
  std::function<void(const QString&)> onOpen;  // the folder the user opened

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void openLater(QTreeWidgetItem* item);
};

class QtDirList : public DirListBox {
 public:
  QtDirList(QWidget* parent, const ControlRow& row, Backend& backend, std::vector<Root> roots,
            const std::string& cwd);
  std::string path() const override { return path_; }
  // A root's spec shows the root's current folder; a folder that cannot be listed
  // throws RuntimeError (76 missing, 68 otherwise) and leaves the list as it was.
  void setPath(std::string_view path) override;
  DirTree* widget() const { return tree_; }

 private:
  // Shows `folder` with its chain from `top` and its subfolders.
  void show(const std::string& top, const std::string& folder,
            const std::vector<std::string>& subfolders);

  DirTree* tree_;
  std::vector<Root> roots_;
  std::string cwd_;
  std::string top_;   // where the shown chain starts
  std::string path_;
};

}  // namespace qm::qt
