#include "ui/window_font.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

#include "ui/app_state.h"

namespace ui {
namespace {

const QString kFamily = QStringLiteral("Tahoma");

void RegisterTahoma() {
  WindowState& state = State();
  if (state.tahomaRegistered) return;
  state.tahomaRegistered = true;
  if (!QFontDatabase::families().contains(kFamily)) {
    // Only the regular face: Wine's bold face has no Cyrillic letters, and a bold made from the
    // regular one keeps the headings in one typeface.
    QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
  }
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
