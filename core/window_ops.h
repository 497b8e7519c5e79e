#pragma once
// The window operations the monitor thread calls. The Qt main window implements them by posting
// each call to the window's thread, the headless tool by printing, tests by recording. Every
// method is called on the monitor thread unless said otherwise; none may touch the caller's state
// after returning.

#include <string>

#include "parser/field_table.h"

namespace core {

enum class WindowLayout { PortLayout, ModemLayout, MonitorLayout };

// The four states of a connection as the window shows them.
enum class ConnectionState { idle, connecting, connected, disconnecting };
// The port settings can be changed (idle), or are shown as they were (disconnecting).
constexpr bool SettingsEnabled(ConnectionState state) {
  return state == ConnectionState::idle || state == ConnectionState::disconnecting;
}
// Between two states: the connect button waits.
constexpr bool Busy(ConnectionState state) {
  return state == ConnectionState::connecting || state == ConnectionState::disconnecting;
}

struct PortSettings {
  std::string portName;  // "COM3" or a device path
  int speed = 0;         // baud
};

class WindowOps {
 public:
  virtual ~WindowOps() = default;

  virtual void ShowConnectionState(ConnectionState state) = 0;
  virtual void SetWindowLayout(WindowLayout layout) = 0;
  // Waits for the window's answer.
  virtual PortSettings ReadPortSettings() = 0;
  // The error box; text is Windows-1251. Returns when the user has closed it.
  virtual void ShowError(const std::string& text) = 0;
  // The display sweep: the reset clears the refresh marks, the marking pass shows "(n/a)" where
  // no value arrived since (parser/field_table.h). withIdentity: the identity fields too.
  virtual void MarkFields(bool withIdentity, parser::SweepPass pass) = 0;
  // On the thread that calls StartMonitor, before the monitor thread exists.
  virtual void PrepareConnection() = 0;
  // Ends the program with exit code 0 through the front end's own event loop or main function.
  virtual void ExitProgram() = 0;
};

// What happens to a run besides the window: the log recorder listens here. Called on the monitor
// thread.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The identity queries succeeded and polling begins.
  virtual void PollStarted() {}
  // One poll cycle ended with its end-of-cycle sweep; n counts from 1.
  virtual void CycleCompleted(int /*n*/) {}
  // The connection has ended and its port is closed; reachedPoll tells whether PollStarted came.
  virtual void ConnectionEnded(bool /*reachedPoll*/) {}
};

}  // namespace core
