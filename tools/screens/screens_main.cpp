// qm_screens: renders each known window, and one message box, to PNG files.
// Usage: QT_QPA_PLATFORM=offscreen qm_screens <output folder>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <functional>

#include "frmMain.h"
#include "screens.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_form.h"
#include "ui/qt/qt_msgbox.h"

namespace {

bool save(const QPixmap& shot, const QDir& dir, const std::string& file) {
  const QString path = dir.filePath(QString::fromStdString(file) + ".png");
  const bool ok = shot.save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
  return ok;
}

QPixmap render(qm::qt::QtBackend& ui, const qm::FormLayout& layout,
               const std::function<void(qm::Form&)>& fill = {}) {
  auto form = ui.createForm(layout);
  if (fill) fill(*form);
  form->show();
  QApplication::processEvents();
  auto* qf = static_cast<qm::qt::QtForm*>(form.get());
  return qf->window()->grab();
}

void fillMain(qm::Form& f) {
  f.label("lblCopy1").setCaption("/home/user/書類/データ");
  f.label("lblCopy2").setCaption("/media/usb/バックアップ");
  f.label("Label3").setCaption("上記のように、コピーを開始します。");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  if (!QDir().mkpath(out.path())) return 2;
  qm::qt::QtBackend ui(argc, argv, "QM(Quillmar)");
  bool ok = save(render(ui, qm::frmMainLayout(), fillMain), out, "frmMain");
  for (const qm::screens::NamedLayout& named : qm::screens::setupToolLayouts())
    ok = save(render(ui, *named.layout, named.fill), out, named.file) && ok;

  qm::qt::BuiltBox box = qm::qt::buildMessageBox(nullptr, "コピーを開始します。よろしいですか？",
                                                 qm::mb::kYesNo | qm::mb::kIconQuestion, "コピー");
  box.box->show();
  QApplication::processEvents();
  ok = save(box.box->grab(), out, "msgbox-confirm") && ok;
  return ok ? 0 : 1;
}
