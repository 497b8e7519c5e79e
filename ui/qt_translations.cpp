#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

#include "ui/app_state.h"

namespace ui {

bool InstallQtTranslations() {
  WindowState& state = State();
  if (state.qtbase) return true;
  // Lives as long as the application, which keeps only a pointer to it.
  auto qtbase = std::make_unique<QTranslator>();
  if (!qtbase->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
  if (!QCoreApplication::installTranslator(qtbase.get())) return false;
  state.qtbase = std::move(qtbase);
  return true;
}

}  // namespace ui
