#pragma once
// Monitor mode's window: creates the main window and wires it to the monitor thread, the field
// dispatcher and the log recorder. Call once on the GUI thread, after QApplication exists; the
// window and its wiring live until the process ends. The caller shows the window.

namespace ui {

class Tfrm;

// Creates Tfrm (idle, PortLayout, centred), makes it the owner of error boxes, installs the
// display and log sides of the dispatcher and runs core::InitCore with the window's operations
// and a core::LogRecorder that records under the name in txtLog, each cycle with its time and
// position; starts the GPS from the saved settings and shows its state.
Tfrm& CreateMonitorWindow();

}  // namespace ui
