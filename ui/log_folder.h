#pragma once
// Where the window records: a log named without a folder goes into "logs" in the program's data
// folder (QStandardPaths::AppDataLocation: ~/.local/share/ostrin-gsmmon/logs), created on first
// use, so a run started from the desktop or from a folder it cannot write still records. The graph
// tells where (its tooltip) and opens the folder (its context menu). Window's thread only.

#include <QString>
#include <string>

class QMenu;

namespace ui {

class Tfrm;

// The name the program's data folder is named after.
inline constexpr const char* kDataFolderName = "ostrin-gsmmon";

// The log folder (UTF-8): the one fixed by SetLogFolder, otherwise AppDataLocation + "/logs" of
// the application as it is named now; empty when the platform has no data folder.
QString LogFolder();
// Fixes the log folder for the rest of the run (start-up does it before the report viewer gives
// the application its own title).
void SetLogFolder(const QString& folder);
// Creates the log folder with its parents; false when that is impossible.
bool MakeLogFolder();

// The file a log name stands for (both file name bytes, as kept with txtLog): a name without a
// folder is put into the log folder, which is created when create is set; a path stays as it is.
std::string LogPath(const std::string& name, bool create);

// The graph's tooltip names the log being written (or the folder before one is), and its context
// menu offers "Открыть папку протоколов". Follows txtLog.
void AttachLogFolder(Tfrm& form);

// Adds "Открыть папку протоколов" to a menu (the graph's own, or the window's when it has one).
void AddLogFolderAction(QMenu& menu);

// Opens the log folder in the desktop's file manager, creating it first; reports a failure
// through ShowError.
void OpenLogFolder();

}  // namespace ui
