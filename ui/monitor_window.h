#pragma once
// Monitor mode's window and its run: creates the main window and wires it to a session whose
// consumers are the run's events, the log recorder (records under the name in txtLog, each cycle
// with its time and position), the site publishing and the live history. Call once on the GUI
// thread, after QApplication exists; the caller shows the window.

namespace core {
class Session;
}

namespace ui {

class Tfrm;

// Creates Tfrm (idle, PortLayout, centred) and its run; starts the GPS from the saved settings
// and shows its state. Both live until EndMonitorWindow.
Tfrm& CreateMonitorWindow();

// The window's session (after CreateMonitorWindow).
core::Session& MonitorSession();

// Ends the run (waiting for its thread) and deletes the window and its wiring, after the event
// loop. A monitor thread still waiting for the window (closed while opening its port) cannot end:
// then false, and nothing is deleted.
bool EndMonitorWindow();

}  // namespace ui
