// The busy pointer of the Qt backend around the copy tool's copy run.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <optional>

#include "ui/filesystem.h"
#include "errors.h"
#include "frmMain.h"
#include "qt_test_util.h"

namespace qm::qt {
namespace {

using test::boxButton;
using test::onNextBox;

// What the application-wide pointer was while CopyFolder ran.
struct PointerLog {
  int copies = 0;
  std::optional<Qt::CursorShape> during;  // empty: no override pointer
};

// A file-system object whose copy records the pointer and then fails with `error` (0:
// the copy succeeds).
class RecordingObject : public FileSystemObject {
 public:
  RecordingObject(PointerLog& log, int error) : log_(log), error_(error) {}
  std::string GetBaseName(std::string_view path) override { return std::string(path); }
  void CopyFolder(std::string_view, std::string_view, bool) override {
    ++log_.copies;
    if (const QCursor* c = QGuiApplication::overrideCursor()) log_.during = c->shape();
    if (error_ != 0) throw RuntimeError(error_);
  }

 private:
  PointerLog& log_;
  int error_;
};

// The Qt backend with the recording object in place of the disk.
class RecordingBackend : public QtBackend {
 public:
  RecordingBackend(int& argc, char** argv, PointerLog& log, int error)
      : QtBackend(argc, argv, "QM(Quillmar)"), log_(log), error_(error) {}
  std::unique_ptr<FileSystemObject> makeFileSystemObject() override {
    return std::make_unique<RecordingObject>(log_, error_);
  }

 private:
  PointerLog& log_;
  int error_;
};

// Presses the button `text` of `box`; a missing button fails the test and closes the box.
void press(QMessageBox& box, const QString& text) {
  if (QAbstractButton* b = boxButton(box, text)) return b->click();
  ADD_FAILURE() << "no button " << text.toStdString() << " on " << box.text().toStdString();
  box.buttons().front()->click();
}

// Answers the confirmation with Yes, then the box that follows the copy with `answer`.
void confirmThenAnswer(const QString& answer) {
  onNextBox([answer](QMessageBox& confirm) {
    press(confirm, QStringLiteral("はい(&Y)"));
    onNextBox([answer](QMessageBox& after) { press(after, answer); });
  });
}

TEST(QtCopyRun, PointerIsTheWaitCursorWhileTheCopyRunsAndGoneAfterIt) {
  struct Case {
    int error;       // what CopyFolder throws; 0: nothing
    QString answer;  // the button pressed on the box after the copy
    bool ends;       // whether the program ends after that box
  };
  const Case cases[] = {
      {0, QStringLiteral("OK"), true},                                // completed
      {err::kPermissionDenied, QStringLiteral("キャンセル"), false},  // device not ready
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    static int argc = 1;
    static char name[] = "qt_test";
    static char* argv[] = {name, nullptr};
    PointerLog log;
    RecordingBackend ui(argc, argv, log, c.error);
    frmMain window(ui);
    window.SourcePath = "/src/データ";
    window.DestinationPath = "/dst/データ";
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    confirmThenAnswer(c.answer);
    ui.dispatch([&] { window.cmdCopy_Click(); });
    EXPECT_EQ(log.copies, 1);
    EXPECT_EQ(log.during, std::optional(Qt::WaitCursor));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ui.ended(), c.ends);
  }
}

}  // namespace
}  // namespace qm::qt
