#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace ui {

bool InstallQtTranslations() {
  static const bool installed = [] {
    // Lives as long as the application, which keeps only a pointer to it.
    static QTranslator qtbase;
    if (!qtbase.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
    return QCoreApplication::installTranslator(&qtbase);
  }();
  return installed;
}

}  // namespace ui
