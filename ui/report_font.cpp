#include "ui/report_font.h"

namespace ui {

QFont ReportFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(12);
  return font;
}

}  // namespace ui
