#pragma once
// Program start-up: the one argument taken from the command line, the mode it selects, and the
// viewer-only run. The argument is kept as the bytes it came as: a file name goes to open()
// unchanged.

#include <QString>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace ui {
class TfrmViewer;
}

namespace app {

enum class StartAction {
  monitor,      // no argument: the main window
  selectFile,   // "-select": ask for a log with the open dialog
  emptyReport,  // any other argument starting with "-": the report window, empty
  openFile,     // any other argument: the name of a log file
};

struct StartupPlan {
  std::string argument;  // verbatim, blanks and quotes included
  bool viewerOnly = false;
  StartAction action = StartAction::monitor;
};

// Names the application, which names its data folder, and fixes the log folder in it for the run
// (QApplication must exist).
void NameApplication();

// The arguments after the program's name, joined by single blanks: Linux hands them over split.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The mode and the first step for an argument. Pure.
StartupPlan PlanStartup(const std::string& argument);

// Lets tests stand in for the modal open dialog: returns the chosen file's name (UTF-8), or an
// empty string when the user cancels.
using ChooseFile = std::function<QString(ui::TfrmViewer&)>;

// Whether the environment names a display (DISPLAY, WAYLAND_DISPLAY) or a Qt platform
// (QT_QPA_PLATFORM) for the windows.
bool DisplayAvailable();

// Without a display there is no window to open: "--help" prints the usage on out (status 0),
// anything else says on err that a display is needed (status 1). With one, nothing: the
// arguments keep their meaning, "--help" too.
std::optional<int> StartWithoutDisplay(const StartupPlan& plan, bool displayAvailable, std::ostream& out,
                                       std::ostream& err);

// Runs viewer-only mode to its end (QApplication must exist); the exit code, always 0.
int RunViewerOnly(const StartupPlan& plan, const ChooseFile& chooseFile = {});

}  // namespace app
