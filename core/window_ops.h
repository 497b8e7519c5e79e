#pragma once
// The window operations the monitor thread calls. The Qt main window implements them by posting
// each call to the window's thread, the headless tool by printing, tests by recording. Every
// method is called on the monitor thread unless said otherwise; none may touch the caller's state
// after returning.

#include <string>

#include "parser/field_table.h"
#include "radio/cycle.h"

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
  // The display: one value as the modem's family delivered it (an identity answer as it arrives).
  virtual void ShowValue(const radio::DeliveredField& field) = 0;
  // A completed poll cycle, shown before its end-of-cycle sweep: each value it delivered.
  virtual void ShowCycle(const radio::Cycle& cycle) {
    for (const radio::DeliveredField& field : cycle.delivered) ShowValue(field);
  }
  // On the thread that calls StartMonitor, before the monitor thread exists.
  virtual void PrepareConnection() = 0;
  // Ends the program with exit code 0 through the front end's own event loop or main function.
  virtual void ExitProgram() = 0;
};

}  // namespace core
