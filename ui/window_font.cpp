#include "ui/window_font.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

namespace ui {
namespace {

const QString kFamily = QStringLiteral("Tahoma");

void RegisterTahoma() {
  static const bool done = [] {
    if (!QFontDatabase::families().contains(kFamily)) {
      // Only the regular face: Wine's bold face has no Cyrillic letters, and a bold made from the
      // regular one keeps the headings in one typeface.
      QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    }
    return true;
  }();
  (void)done;
}

}  // namespace

QFont WindowFont(int pixelSize, bool bold) {
  RegisterTahoma();
  QFont font(kFamily);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace ui
