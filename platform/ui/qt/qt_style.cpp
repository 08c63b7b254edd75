// Geometry, fonts and icons of the Qt backend.
#include "qt_style.h"

#include <QGuiApplication>
#include <QScreen>

namespace qm::qt {

double screenDpi() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInch() : 96.0;
}

QRect rowRect(const ControlRow& row, double dpi) {
  return QRect(twipsToPixels(row.left, dpi), twipsToPixels(row.top, dpi),
               twipsToPixels(row.width, dpi), twipsToPixels(row.height, dpi));
}

QStringList japaneseFamilies() {
  return {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
          QStringLiteral("IPA P Gothic"), QStringLiteral("Noto Sans CJK JP")};
}

QFont defaultWindowFont() {
  return layoutFont(pt(9));
}

QFont layoutFont(const Font& font) {
  if (font.points <= 0) return defaultWindowFont();
  QFont f;
  f.setFamilies(japaneseFamilies());
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(font.points);
  f.setWeight(font.bold ? QFont::Bold : QFont::Normal);
  return f;
}

QIcon windowIcon(WindowIcon icon) {
  const QString base = icon == WindowIcon::CopyTool ? QStringLiteral(":/icons/qm-copytool")
                                                    : QStringLiteral(":/icons/qm-setuptool");
  QIcon result;
  for (int size : {16, 32, 48, 64})
    result.addFile(QStringLiteral("%1-%2.png").arg(base).arg(size), QSize(size, size));
  return result;
}

float pixelsToTwips(int pixels, double dpi) {
  return static_cast<float>(pixels * 1440.0 / dpi);
}

}  // namespace qm::qt
