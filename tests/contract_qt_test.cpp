// The control contract on the Qt backend (offscreen), with its scratch tree on disk.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>

#include "contract_suite_windows.h"
#include "os/roots.h"
#include "qt_test_util.h"
#include "ui/form_rules.h"
#include "ui/qt/qt_msgbox.h"
#include "ui/qt/qt_style.h"

namespace qm::contract {
namespace {

using qt::QtForm;

class QtDriver {
 public:
  QtDriver() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qm_contract_XXXXXX").string();
    scratch_ = ::mkdtemp(pattern.data());
    for (const char* name : {"a", "b", "日本語"})
      std::filesystem::create_directory(scratch_ + "/" + name);
  }
  ~QtDriver() {
    forms_.clear();
    QApplication::processEvents();
    std::error_code ec;
    std::filesystem::remove_all(scratch_, ec);
  }
  Backend& ui() { return *ui_; }
  Form& make(const FormLayout& layout) { return forms_.make(*ui_, layout); }
  Form& show(const FormLayout& layout) {
    Form& f = make(layout);
    qt::test::showAndWait(f);
    return f;
  }
  // As a paste does: the whole text replaced in one edit.
  void type(Form& f, std::string_view box, std::string_view text) {
    auto* edit = static_cast<QLineEdit*>(q(f).widget(box));
    edit->selectAll();
    edit->insert(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
  void tab(Form&) { press(Qt::Key_Tab); }
  void enter(Form&) { press(Qt::Key_Return); }
  void key(Form&, char c) { QTest::keyClick(QApplication::focusWidget(), c); }
  // A button's access key releases the button 100 ms after the key.
  void altKey(Form&, char c) {
    QTest::keyClick(QApplication::focusWidget(), c, Qt::AltModifier);
    QTest::qWait(250);
  }
  void click(Form& f, std::string_view button) {
    QTest::mouseClick(q(f).widget(button), Qt::LeftButton);
  }
  void closeByFrame(Form& f) { q(f).window()->close(); }
  void moveMouse(Form& f, int x, int y) {
    QTest::keyRelease(q(f).window(), Qt::Key_Alt);  // an earlier access key's Alt
    const double dpi = qt::screenDpi();
    QTest::mouseMove(q(f).window(), QPoint(twipsToPixels(x, dpi), twipsToPixels(y, dpi)));
    QApplication::processEvents();
  }
  // The window's own focus widget: the one that has, or on activation gets, the focus.
  std::string focused(Form& f) {
    const QWidget* w = q(f).window()->focusWidget();
    return w ? w->objectName().toStdString() : std::string();
  }
  // A label draws its "&" as an access key only when it has a buddy.
  std::string shownCaption(Form& f, std::string_view label) {
    auto* l = static_cast<QLabel*>(q(f).widget(label));
    return qm::shownCaption(l->text().toStdString(), l->buddy() != nullptr);
  }
  void onNextBox(std::vector<int> keys) {
    qt::test::onNextBox([keys](QMessageBox& box) {
      for (int k : keys) {
        if (!box.isVisible()) return;
        if (k == kEscape)
          QTest::keyClick(&box, Qt::Key_Escape);
        else if (QAbstractButton* b = buttonFor(box, k))
          b->click();
      }
    });
  }
  std::string startDrive() { return qm::rootOf(roots_, cwd_)->spec; }
  std::string otherDrive() { return startDrive() == "C:" ? "A:" : "C:"; }
  std::string missingDrive() { return "Q:"; }
  std::string driveFolder(const std::string& spec) {
    return rootCurrentFolder(roots_, *findRoot(roots_, spec), cwd_);
  }
  std::string scratch() { return scratch_; }
  std::string child(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
  }
  std::vector<std::string> subfolders(Form& f, std::string_view list) {
    std::vector<std::string> names;
    const QTreeWidgetItem* current = tree(f, list)->currentItem();
    for (int i = 0; current && i < current->childCount(); ++i)
      names.push_back(current->child(i)->text(0).toStdString());
    return names;
  }
  void vanish(const std::string& folder) { std::filesystem::remove(folder); }
  void open(Form& f, std::string_view list, std::string_view name) {
    QTreeWidget* t = tree(f, list);
    const QTreeWidgetItem* current = t->currentItem();
    for (int i = 0; current && i < current->childCount(); ++i)
      if (current->child(i)->text(0).toStdString() == name) {
        const QPoint at = t->visualItemRect(current->child(i)).center();
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, at);
        QTest::qWait(20);
        return;
      }
    ADD_FAILURE() << "no subfolder " << name;
  }
  void pick(Form& f, std::string_view list, std::string_view spec) {
    auto* combo = static_cast<QComboBox*>(q(f).widget(list));
    const int index =
        combo->findData(QString::fromUtf8(spec.data(), static_cast<qsizetype>(spec.size())));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }

 private:
  static QtForm& q(Form& f) { return static_cast<QtForm&>(f); }
  static QTreeWidget* tree(Form& f, std::string_view list) {
    return static_cast<QTreeWidget*>(q(f).widget(list));
  }
  static void press(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget(), key);
    QApplication::processEvents();
  }
  // The button of a box that gives `answer`, found by its caption.
  static QAbstractButton* buttonFor(QMessageBox& box, int answer) {
    for (int style = 0; style <= 5; ++style)
      for (const qt::BoxButton& b : qt::boxButtons(style))
        if (b.answer == answer)
          if (QAbstractButton* found = qt::test::boxButton(box, QString::fromUtf8(b.text)))
            return found;
    return nullptr;
  }

  std::unique_ptr<qt::QtBackend> ui_ = qt::test::makeBackend();
  DriverForms forms_;
  std::vector<Root> roots_ = systemDriveRoots();
  std::string cwd_ = currentFolder();
  std::string scratch_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, ControlContract, QtDriver);

}  // namespace
}  // namespace qm::contract
