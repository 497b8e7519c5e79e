// Takes the README's screenshots on an X display (scripts/screenshots runs it under Xvfb):
//   gsmmon_screenshots monitor OUT.png SECONDS   the monitor window, connected to "COM1" for a while
//   gsmmon_screenshots grab OUT.png              the whole screen, e.g. another program's dialog
//   gsmmon_screenshots history OUT.png SECONDS   the live history window in alignment mode, connected as above
//   gsmmon_screenshots loghistory LOG OUT.png    the history window of a log

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/frmNetMonitor.h"
#include "ui/history_window.h"
#include "ui/monitor_window.h"
#include "ui/qt_translations.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: gsmmon_screenshots monitor OUT.png SECONDS | grab OUT.png | history OUT.png SECONDS | "
               "loghistory LOG OUT.png\n");
  return 2;
}

bool Save(const QPixmap& picture, const QString& path) {
  if (picture.isNull() || !picture.save(path, "PNG")) {
    std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  QApplication application(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[2]);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 1;

  if (mode == "grab") return Save(screen->grabWindow(0), out) ? 0 : 1;
  const auto grab = [screen](QWidget& window, const QString& path) {
    const QRect area(window.mapToGlobal(QPoint(0, 0)), window.size());
    return Save(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()), path);
  };
  if (mode == "loghistory") {
    if (argc < 4) return Usage();
    QApplication::setStyle("Windows");
    ui::InstallQtTranslations();
    ui::HistoryWindow* history = ui::OpenLogHistory(argv[2], nullptr);
    if (history == nullptr) return 1;
    history->move(20, 20);
    const QString path = QString::fromLocal8Bit(argv[3]);
    QTimer::singleShot(1500, history, [&grab, history, path] { std::_Exit(grab(*history, path) ? 0 : 1); });
    return QApplication::exec();
  }
  if (mode == "history") {
    if (argc < 4) return Usage();
    QApplication::setStyle("Windows");
    ui::InstallQtTranslations();
    QApplication::setQuitOnLastWindowClosed(false);
    ui::Tfrm& window = ui::CreateMonitorWindow();
    window.show();
    ui::HistoryWindow& history = ui::OpenLiveHistory(&window);
    history.move(10, 10);
    history.findChild<QPushButton*>("btnAlignment")->click();
    QTimer::singleShot(500, &window, [&window] { window.findChild<QPushButton*>("btnControl")->click(); });
    QTimer::singleShot(500 + std::atoi(argv[3]) * 1000, &window,
                       [&grab, &history, out] { std::_Exit(grab(history, out) ? 0 : 1); });
    return QApplication::exec();
  }
  if (mode != "monitor" || argc < 4) return Usage();

  // As the program starts its monitor mode.
  QApplication::setStyle("Windows");
  ui::InstallQtTranslations();
  QApplication::setQuitOnLastWindowClosed(false);
  ui::Tfrm& window = ui::CreateMonitorWindow();
  window.show();
  QTimer::singleShot(500, &window, [&window] { window.findChild<QPushButton*>("btnControl")->click(); });
  QTimer::singleShot(500 + std::atoi(argv[3]) * 1000, &window, [&window, screen, out] {
    const QRect area(window.mapToGlobal(QPoint(0, 0)), window.size());
    const bool saved = Save(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()), out);
    // The connection is left to end with the process, as a closed window would.
    std::_Exit(saved ? 0 : 1);
  });
  return QApplication::exec();
}
