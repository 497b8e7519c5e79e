#pragma once
// One session at a time for the tests of the monitor thread, behind the calls those tests make:
// InitCore makes a new session on a window (ending the one before), the rest drive it.

#include <memory>
#include <vector>

#include "core/run_consumer.h"
#include "core/session.h"

namespace testsupport {

inline std::unique_ptr<core::Session>& SessionUnderTest() {
  static std::unique_ptr<core::Session> session;
  return session;
}

inline void InitCore(core::WindowOps& window, core::RunConsumer* consumer = nullptr) {
  SessionUnderTest().reset();
  std::vector<core::RunConsumer*> consumers;
  if (consumer != nullptr) consumers.push_back(consumer);
  SessionUnderTest() = std::make_unique<core::Session>(window, consumers);
}
inline void StartMonitor() { SessionUnderTest()->StartMonitor(); }
inline bool StopMonitor(bool exitAfter) { return SessionUnderTest()->StopMonitor(exitAfter); }
inline void StartCall(bool dial, const std::string& number) { SessionUnderTest()->StartCall(dial, number); }
inline bool ConnectionActive() { return SessionUnderTest()->ConnectionActive(); }
inline bool ExitAfterStop() { return SessionUnderTest()->ExitAfterStop(); }
inline bool MonitorThreadRunning() { return SessionUnderTest() && SessionUnderTest()->MonitorThreadRunning(); }

}  // namespace testsupport
