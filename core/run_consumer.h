#pragma once
// What a run hands to those who use it: the display, the run's events and the log recorder, the
// site publisher, the live history, the headless output. A session calls its consumers in the
// order it was given them, all on its monitor thread: the identity as each answer arrives, the
// start of polling, each completed cycle, the messages it showed, and the end.

#include <chrono>
#include <string>

#include "radio/cycle.h"

namespace core {

struct RunStart {
  radio::Identity identity;
  std::chrono::system_clock::time_point time{};
};

// Which dialect a run speaks, and what changed in it: told before the start of polling (inUse),
// when a modem of no known family refused the seed family's report and the run went on with the
// 3GPP baseline (fallback), and the first time the modem refused a command, which is then left
// out of every cycle (refused).
struct DialectNote {
  enum class Kind { inUse, fallback, refused };
  Kind kind = Kind::inUse;
  std::string dialect;  // the dialect in use from now on ("moni", "baseline", "quectel", ...)
  std::string command;  // fallback, refused: the command the modem refused
};

struct RunEnd {
  bool reachedPoll = false;  // polling had started
  bool lost = false;         // the connection ended while still active: the modem stopped answering
  long cycles = 0;           // completed cycles
};

class RunConsumer {
 public:
  virtual ~RunConsumer() = default;
  // An identity answer as the modem's family delivered it, before polling starts.
  virtual void IdentityAnswered(const radio::DeliveredField& /*field*/) {}
  // The dialect of the run (before RunStarted) and its changes.
  virtual void DialectTold(const DialectNote& /*note*/) {}
  // The identity queries succeeded and polling begins.
  virtual void RunStarted(const RunStart& /*start*/) {}
  // One poll cycle completed, with its time and position.
  virtual void CycleCompleted(const radio::Cycle& /*cycle*/) {}
  // An error the run showed (Windows-1251).
  virtual void ErrorShown(const std::string& /*text*/) {}
  // The connection has ended and its port is closed.
  virtual void RunEnded(const RunEnd& /*end*/) {}
};

}  // namespace core
