#pragma once
// A session: one modem connection at a time, owned whole. It owns the link (port and command
// lock), the run's flags, the poll cycle in the making and its monitor thread, which it joins; its
// consumers (core/run_consumer.h) get the run in the order given. Two sessions in one process
// share nothing. The front end (core::WindowOps) and the consumers must outlive the session.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/cycle_builder.h"
#include "core/run_consumer.h"
#include "core/window_ops.h"
#include "dialects/dialect.h"
#include "modem/link_state.h"
#include "radio/position.h"

namespace core {

class Session {
 public:
  // The position of a cycle ending now, when a fresh one is known; called on the monitor thread.
  using PositionSource = std::function<std::optional<radio::Position>()>;

  Session(WindowOps& window, std::vector<RunConsumer*> consumers, PositionSource positionSource = {});
  // Stops a running connection and waits for its thread and the call workers.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Starts a connection unless one is active. Runs PrepareConnection on the caller's thread.
  void StartMonitor();

  // Requests the end of the running connection; exitAfter makes the finishing thread end the
  // program. Does nothing while no connection is active. True when the finishing monitor thread
  // will end the program (this request or an earlier one asked it to): a closing window then
  // stays open; false means nothing is left to end it.
  bool StopMonitor(bool exitAfter);

  // Ends the program with exit code 0 (through WindowOps::ExitProgram).
  void ExitProgram();

  // The dialect the next connections speak, by name (dialects::DialectNames()); "" picks it from
  // the modem's identity. Any thread.
  void SetDialect(std::string name);

  // Starts the dial worker ("ATD" + number + ";") or the hang-up worker ("ATH").
  void StartCall(bool dial, const std::string& number);

  bool ConnectionActive() const;
  bool ExitAfterStop() const;
  // True from StartMonitor until the monitor thread has closed its port and finished.
  bool MonitorThreadRunning() const;
  // Waits until the monitor thread has finished (at once when none runs).
  void Join();

 private:
  // The connection-active and exit-after-stop flags as one value, so that a close and the
  // connection's own end cannot interleave between reading one flag and writing the other:
  // either the close comes first and the finishing thread ends the program, or the thread's end
  // comes first and the close finds nothing running.
  class RunFlags {
   public:
    constexpr RunFlags() = default;
    constexpr RunFlags(bool active, bool exitAfter)
        : bits_(static_cast<std::uint8_t>((active ? kActive : 0u) | (exitAfter ? kExitAfter : 0u))) {}
    constexpr bool Active() const { return (bits_ & kActive) != 0; }
    constexpr bool ExitAfter() const { return (bits_ & kExitAfter) != 0; }

   private:
    static constexpr unsigned kActive = 1;
    static constexpr unsigned kExitAfter = 2;
    std::uint8_t bits_ = 0;
  };

  void MonitorThread();
  bool RunOpenConnection();
  bool RunPollCycle(long n);
  void ChooseDialect();
  bool SwitchToBaseline();
  bool RunDialectCycle(long n);
  void CompleteCycle(radio::Cycle& cycle, long n);
  void Tell(const DialectNote& note);
  void ResetOnClose();
  bool StopCutIn();
  void JoinFinishedWorkers(bool all);

  WindowOps& window_;
  const std::vector<RunConsumer*> consumers_;
  const PositionSource positionSource_;
  modem::Link link_;
  CycleBuilder builder_;

  std::atomic<bool> threadRunning_{false};  // from StartMonitor until the monitor thread ends
  std::atomic<RunFlags> runFlags_{};        // connection active, exit after stop
  std::atomic<long> cyclesDone_{0};         // the running connection's, on the monitor thread
  std::atomic<bool> polling_{false};        // the running connection polls: a stop lets a cycle finish
  std::mutex threadMutex_;                  // guards thread_ (StartMonitor, Join)
  std::thread thread_;
  std::mutex workersMutex_;  // guards workers_ and dialNumber_
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers_;  // the call workers, joined once finished, and all at the end
  std::string dialNumber_;
  std::mutex dialectMutex_;  // guards dialectName_
  std::string dialectName_;  // as set; "" from the identity
  // The monitor thread's: the family dialect polled (null: the seed family's exchange), the
  // commands still polled, and whether a refusal of the seed report falls back to the baseline.
  const dialects::Dialect* dialect_ = nullptr;
  std::optional<dialects::CommandList> commands_;
  bool fallbackToBaseline_ = false;
};

}  // namespace core
