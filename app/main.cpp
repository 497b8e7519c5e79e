#include <QApplication>
#include <string>
#include <vector>

#include "app/monitor_mode.h"
#include "app/startup.h"
#include "platform/standard_descriptors.h"
#include "platform/text_encoding.h"

int main(int argc, char** argv) {
  // Before anything is opened: a log or the port must never take over a closed stdout or stderr.
  platform::GuardStandardDescriptors();
  // Taken before Qt sees the command line, so the argument reaches start-up verbatim.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const app::StartupPlan plan = app::PlanStartup(platform::Utf8ToCp1251(app::JoinArguments(arguments)));

  QApplication application(argc, argv);
  // The classic raised controls suit the fixed pixel layouts of both windows.
  QApplication::setStyle("Windows");
  // The program ends only through its windows' own ways out, each with exit code 0.
  QApplication::setQuitOnLastWindowClosed(false);
  return plan.viewerOnly ? app::RunViewerOnly(plan) : app::RunMonitorMode();
}
