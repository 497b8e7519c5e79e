#include "app/startup.h"

#include <QApplication>
#include <cstdlib>

#include "ui/app_state.h"
#include "ui/local_file_name.h"
#include "ui/log_folder.h"
#include "ui/viewer.h"

namespace app {

void NameApplication() {
  QCoreApplication::setApplicationName(QString::fromLatin1(ui::kDataFolderName));
  ui::SetLogFolder(ui::LogFolder());
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) joined += ' ';
    joined += arguments[i];
  }
  return joined;
}

StartupPlan PlanStartup(const std::string& argument) {
  StartupPlan plan;
  plan.argument = argument;
  plan.viewerOnly = !argument.empty();
  if (argument.empty()) {
    plan.action = StartAction::monitor;
  } else if (argument == "-select") {
    plan.action = StartAction::selectFile;
  } else if (argument.front() == '-') {
    plan.action = StartAction::emptyReport;
  } else {
    plan.action = StartAction::openFile;
  }
  return plan;
}

bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

std::optional<int> StartWithoutDisplay(const StartupPlan& plan, bool displayAvailable, std::ostream& out,
                                       std::ostream& err) {
  if (displayAvailable) return std::nullopt;
  if (plan.argument == "--help") {
    out << "Использование:\n"
           "  ostrin_gsmmon           окно монитора\n"
           "  ostrin_gsmmon -select   выбрать файл протокола и показать его отчет\n"
           "  ostrin_gsmmon ФАЙЛ      показать отчет файла протокола\n"
           "Окну нужен графический сеанс (DISPLAY или WAYLAND_DISPLAY). Без него: ostrin_gsmmon_cli.\n"
           "Подробнее: man ostrin_gsmmon\n";
    return out.flush() ? 0 : 1;
  }
  err << "Нет графического сеанса (DISPLAY или WAYLAND_DISPLAY не заданы): окно не открыть. "
         "Без окна: ostrin_gsmmon_cli\n";
  return 1;
}

int RunViewerOnly(const StartupPlan& plan, const ChooseFile& chooseFile) {
  ui::SetViewerOnly(true);
  ui::SetMainWindow(nullptr);
  QCoreApplication::setApplicationName(QStringLiteral("Lumatrek"));

  ui::TfrmViewer viewer;
  std::string fileName = plan.argument;
  StartAction action = plan.action;
  if (action == StartAction::selectFile) {
    const QString chosen = chooseFile ? chooseFile(viewer) : viewer.RunOpenDialog();
    if (chosen.isEmpty()) return 0;
    fileName = ui::LocalFileName(chosen);
    action = StartAction::openFile;
  }
  if (action == StartAction::openFile) ui::ShowLogReport(fileName);
  if (!viewer.isVisible()) viewer.show();
  QApplication::exec();
  return 0;
}

}  // namespace app
