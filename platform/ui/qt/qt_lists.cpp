// The drive list and the folder list of the Qt backend.
#include "qt_lists.h"

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include "errors.h"
#include "qt_style.h"
#include "ui/form_rules.h"

namespace qm::qt {

namespace {

QString fromUtf8(const std::string& s) {
  return QString::fromStdString(s);
}

constexpr int kPathRole = Qt::UserRole;

QIcon rootIcon(const QWidget* w, std::size_t index) {
  const QStyle::StandardPixmap kind = index == 0   ? QStyle::SP_DriveHDIcon
                                      : index == 1 ? QStyle::SP_DirHomeIcon
                                                   : QStyle::SP_DriveCDIcon;
  return w->style()->standardIcon(kind);
}

}  // namespace

// ---- drive list -----------------------------------------------------------------------

QtDriveList::QtDriveList(QWidget* parent, const ControlRow& row, Backend& backend,
                         std::vector<Root> roots, const std::string& cwd)
    : DriveListCore(backend), combo_(new QComboBox(parent)), roots_(std::move(roots)) {
  combo_->setObjectName(
      QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size())));
  combo_->setFont(layoutFont(row.font));
  combo_->setGeometry(rowRect(row, screenDpi()));
  for (std::size_t i = 0; i < roots_.size(); ++i)
    combo_->addItem(rootIcon(combo_, i), fromUtf8(roots_[i].label), fromUtf8(roots_[i].spec));
  // The list starts on the root of the current folder.
  if (const Root* start = rootOf(roots_, cwd)) {
    startOn(start->spec);
    combo_->setCurrentIndex(static_cast<int>(start - roots_.data()));
  }
  // activated comes from the user only; the program goes through setDrive.
  QObject::connect(combo_, &QComboBox::activated, &guard_, [this](int index) {
    userPicked(combo_->itemData(index).toString().toStdString());
  });
}

std::string QtDriveList::selectDrive(std::string_view spec) {
  const Root* root = findRoot(roots_, driveSpecOf(spec));
  if (!root) throw RuntimeError(err::kDeviceUnavailable, spec);
  combo_->setCurrentIndex(static_cast<int>(root - roots_.data()));
  return root->spec;
}

// ---- folder tree widget ---------------------------------------------------------------

void DirTree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    openLater(currentItem());
    event->accept();  // Enter opens the folder and presses no default button
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void DirTree::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidgetItem* item = itemAt(event->position().toPoint());
  QTreeWidget::mouseDoubleClickEvent(event);
  openLater(item);
}

// The tree is rebuilt by the open, so it runs after the item view's own event handling.
void DirTree::showCurrentAcross() {
  QTreeWidgetItem* item = currentItem();
  if (!item) return;
  header()->resizeSections(QHeaderView::ResizeToContents);
  const int indent = visualItemRect(item).left() + horizontalScrollBar()->value();
  horizontalScrollBar()->setValue(std::max(0, indent - indentation() * 2));
}

void DirTree::showEvent(QShowEvent* event) {
  QTreeWidget::showEvent(event);
  showCurrentAcross();
}

void DirTree::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  showCurrentAcross();
}

void DirTree::openLater(QTreeWidgetItem* item) {
  if (!item || !onOpen) return;
  const QString path = item->data(0, kPathRole).toString();
  QTimer::singleShot(0, this, [this, path] {
    if (onOpen) onOpen(path);
  });
}

// ---- folder list ----------------------------------------------------------------------

QtDirList::QtDirList(QWidget* parent, const ControlRow& row, Backend& backend,
                     std::vector<Root> roots, const std::string& cwd)
    : DirListCore(backend),
      tree_(new DirTree(parent)),
      roots_(std::move(roots)),
      cwd_(normalFolder(cwd, "/")) {
  tree_->setObjectName(QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size())));
  tree_->setFont(layoutFont(row.font));
  tree_->setGeometry(rowRect(row, screenDpi()));
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(false);
  tree_->setItemsExpandable(false);
  tree_->setIndentation(12);
  // Deep folders stay readable: the column is as wide as its names, and the list scrolls
  // across to them.
  tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tree_->header()->setStretchLastSection(false);
  tree_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  tree_->onOpen = [this](const QString& folder) { userOpened(folder.toStdString()); };
  // The list starts on the current folder; if that cannot be listed it stays empty.
  try {
    const Root* root = rootOf(roots_, cwd_);
    top_ = root ? root->path : "/";
    show(top_, cwd_, listSubfolders(cwd_));
    startAt(cwd_);
  } catch (const RuntimeError&) {
  }
}

std::string QtDirList::openFolder(std::string_view path) {
  if (const Root* root = findRoot(roots_, path))
    return showFolder(rootCurrentFolder(roots_, *root, cwd_), root->path);
  return showFolder(normalFolder(path, cwd_), top_);
}

// A volume is named by its mount path, so the folder the user opened must not be read as
// a drive specification: its top folder would turn into the volume's current folder.
std::string QtDirList::openListedFolder(const std::string& folder) {
  return showFolder(folder, top_);
}

std::string QtDirList::showFolder(const std::string& target, std::string top) {
  if (top.empty() || !isInside(target, top)) {
    const Root* holder = rootOf(roots_, target);
    top = holder ? holder->path : "/";
  }
  const std::vector<std::string> subfolders = listSubfolders(target);
  show(top, target, subfolders);
  top_ = top;
  return target;
}

void QtDirList::show(const std::string& top, const std::string& folder,
                     const std::vector<std::string>& subfolders) {
  tree_->clear();
  const QIcon open = tree_->style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = tree_->style()->standardIcon(QStyle::SP_DirClosedIcon);
  QTreeWidgetItem* parent = nullptr;
  for (const std::string& step : folderChain(top, folder)) {
    const std::size_t slash = step.rfind('/');
    const std::string name = step == "/" || step == top ? step : step.substr(slash + 1);
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, fromUtf8(name));
    item->setIcon(0, open);
    item->setData(0, kPathRole, fromUtf8(step));
    item->setExpanded(true);
    parent = item;
  }
  for (const std::string& name : subfolders) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, fromUtf8(name));
    item->setIcon(0, closed);
    item->setData(0, kPathRole, fromUtf8(folder == "/" ? "/" + name : folder + "/" + name));
  }
  if (parent) {
    parent->setExpanded(true);
    tree_->setCurrentItem(parent);
    tree_->showCurrentAcross();
  }
}

}  // namespace qm::qt
