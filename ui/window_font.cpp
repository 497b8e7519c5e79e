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
      for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        QFontDatabase::addApplicationFont(QString::fromLatin1(file));
      }
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
