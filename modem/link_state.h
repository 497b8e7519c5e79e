#pragma once
// The modem module's process-wide state, in one place (docs/threads.md names every member and
// who touches it). Internal to the module: other modules reach it through ActivePort,
// SetActivePort and CommandLock.

#include <mutex>

#include "modem/com_port.h"

namespace modem::detail {

struct LinkState {
  std::mutex activeMutex;  // guards activePort; held only to copy the holder in or out
  PortHandle activePort;   // the port the monitor thread and the call workers share
  std::mutex commandLock;  // held for a whole exchange with the modem (CommandLock)
};

// Made on first use and never destroyed: a detached worker may still hold the lock at exit.
LinkState& Link();

}  // namespace modem::detail
