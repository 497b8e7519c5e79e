#pragma once
// Ctrl+C, SIGTERM and a hang-up of the terminal, blocked in the calling thread and so in every
// thread it starts afterwards: the caller alone takes them, with sigwaitinfo or sigtimedwait.

#include <signal.h>

namespace cli {

inline sigset_t BlockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  return stopSignals;
}

}  // namespace cli
