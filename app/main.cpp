#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/monitor_mode.h"
#include "app/startup.h"
#include "platform/standard_descriptors.h"
#include "ui/qt_translations.h"

int main(int argc, char** argv) {
  // Before anything is opened: a log or the port must never take over a closed stdout or stderr.
  platform::GuardStandardDescriptors();
  // Taken before Qt sees the command line, so the argument reaches start-up verbatim: a file
  // name stays the bytes it is on the disk.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const app::StartupPlan plan = app::PlanStartup(app::JoinArguments(arguments));
  // Qt would abort without a display; the user gets a message of ours (or the usage) instead.
  if (const auto status = app::StartWithoutDisplay(plan, app::DisplayAvailable(), std::cout, std::cerr)) {
    return *status;
  }

  QApplication application(argc, argv);
  app::NameApplication();
  // The classic raised controls suit the fixed pixel layouts of both windows.
  QApplication::setStyle("Windows");
  ui::InstallQtTranslations();
  // The program ends only through its windows' own ways out, each with exit code 0.
  QApplication::setQuitOnLastWindowClosed(false);
  return plan.viewerOnly ? app::RunViewerOnly(plan) : app::RunMonitorMode();
}
