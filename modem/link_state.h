#pragma once
// The link of one connection: the port its exchanges use and the lock that keeps them whole. A
// session owns one and makes it its threads' current link (ScopedLink); the exchanges of
// modem.h and core/poll_cycle.h use the current link of the thread they run on, so two sessions
// in one process never meet. A thread that never entered a link has one of its own (tests).

#include <mutex>

#include "modem/com_port.h"

namespace modem {

struct Link {
  std::mutex activeMutex;  // guards activePort; held only to copy the holder in or out
  PortHandle activePort;   // the port the monitor thread and the call workers share
  std::mutex commandLock;  // held for a whole exchange with the modem (CommandLock)

  PortHandle Port() {
    std::lock_guard lock(activeMutex);
    return activePort;
  }
  void SetPort(PortHandle holder) {
    std::lock_guard lock(activeMutex);
    activePort = std::move(holder);
  }
};

// The calling thread's current link.
Link& CurrentLink();

// Makes link the current link of the calling thread for the object's lifetime.
class ScopedLink {
 public:
  explicit ScopedLink(Link& link);
  ~ScopedLink();
  ScopedLink(const ScopedLink&) = delete;
  ScopedLink& operator=(const ScopedLink&) = delete;

 private:
  Link* previous_;
};

}  // namespace modem
