#pragma once
// Monitor mode: the main window, the core wired to it, the hidden report window, the event loop.

namespace app {

// Runs until the main window or the monitor thread ends the program (QApplication must exist);
// the exit code, always 0.
int RunMonitorMode();

}  // namespace app
