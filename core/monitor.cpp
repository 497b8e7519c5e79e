#include "core/monitor.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/open_port_message.h"
#include "core/poll_cycle.h"
#include "modem/com_port.h"
#include "modem/modem.h"
#include "platform/text_encoding.h"

namespace core {
namespace {

using namespace platform::literals;
using namespace std::chrono_literals;

constexpr int kReadTimeoutMs = 1000;
constexpr auto kPauseBeforeNeighbours = 100ms;
constexpr auto kPauseBetweenCycles = 300ms;
// The closing "ATZ" gets this long, whatever the modem does, so a stop ends promptly.
constexpr auto kFinalExchangeBudget = 1000ms;

// The connection-active and exit-after-stop flags as one value, so that one atomic holds both and
// a close and the connection's own end cannot interleave between reading one flag and writing the
// other: either the close comes first and the finishing thread ends the program, or the thread's
// end comes first and the close finds nothing running.
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

// The module's process-wide state (docs/threads.md names who touches each member).
struct MonitorState {
  std::atomic<WindowOps*> window{nullptr};      // set by InitCore before any thread runs
  std::atomic<RunObserver*> observer{nullptr};  // likewise
  std::atomic<bool> threadRunning{false};       // from StartMonitor until the monitor thread ends
  std::atomic<RunFlags> runFlags{};             // connection active, exit after stop
  std::mutex dialNumberMutex;                   // guards dialNumber
  std::string dialNumber;                       // for the dial worker
};

// Made on first use and never destroyed: a detached thread may still be finishing at exit.
MonitorState& Monitor() {
  static MonitorState* const state = new MonitorState;
  return *state;
}

WindowOps& Window() { return *Monitor().window.load(); }

void NotifyPollStarted() {
  if (RunObserver* observer = Monitor().observer.load()) observer->PollStarted();
}
void NotifyCycleCompleted(int n) {
  if (RunObserver* observer = Monitor().observer.load()) observer->CycleCompleted(n);
}
void NotifyConnectionEnded(bool reachedPoll) {
  if (RunObserver* observer = Monitor().observer.load()) observer->ConnectionEnded(reachedPoll);
}

// One poll cycle; false when the loop must end. The first cycle's stop check is the one made
// before the recording started.
bool RunPollCycle(int n) {
  if (n > 1 && !ConnectionActive()) return false;
  if (!PollServingCell()) return false;
  std::this_thread::sleep_for(kPauseBeforeNeighbours);
  // A stop cuts the neighbour report short: that cycle is not a complete one.
  if (!PollNeighbourCells() || !ConnectionActive()) return false;
  Window().MarkFields(false, parser::SweepPass::markMissing);
  NotifyCycleCompleted(n);
  std::this_thread::sleep_for(kPauseBetweenCycles);
  Window().MarkFields(false, parser::SweepPass::reset);
  return true;
}

// The modem reset with "ATZ" as the connection ends, within its budget.
void ResetOnClose() {
  modem::BeginFinalExchange(modem::ActivePort(), kFinalExchangeBudget);
  modem::RunCommand("ATZ", "");
}

// True when the last exchange was cut short by a stop request.
bool StopCutIn() { return modem::PortInterrupted(modem::ActivePort()); }

// Everything between an open port and the clean-up. True when the connection reached the poll.
bool RunOpenConnection() {
  WindowOps& window = Window();
  if (!ResetModem()) {
    // A stop during the reset cut it short: that is no fault of the modem's.
    if (StopCutIn()) {
      ResetOnClose();
      return false;
    }
    window.ShowError(std::string("Нет связи с GSM-модемом"_cp1251));
    StopMonitor(false);
    return false;
  }
  window.SetWindowLayout(WindowLayout::ModemLayout);
  window.ShowConnectionState(ConnectionState::connected);
  if (!QueryIdentity()) {
    // A refused query ends quietly, without resetting the modem; a stop still resets it.
    if (StopCutIn()) ResetOnClose();
    return false;
  }

  window.SetWindowLayout(WindowLayout::MonitorLayout);
  // A stop during the identity queries ends the connection before a log is created for it.
  const bool pollStarted = ConnectionActive();
  if (pollStarted) {
    NotifyPollStarted();
    for (int n = 1; RunPollCycle(n); ++n) {
    }
  }
  ResetOnClose();
  return pollStarted;
}

void MonitorThread() {
  WindowOps& window = Window();
  window.ShowConnectionState(ConnectionState::connecting);
  const PortSettings settings = window.ReadPortSettings();
  window.MarkFields(true, parser::SweepPass::reset);
  window.MarkFields(true, parser::SweepPass::markMissing);

  bool reachedPoll = false;
  modem::PortHandle port;
  platform::SystemError openError;
  const bool opened =
      modem::OpenPort(port, settings.portName, settings.speed, kReadTimeoutMs, false, false, &openError);
  modem::SetActivePort(port);
  if (!opened) {
    window.ShowError(OpenPortMessage(settings.portName, openError));
    StopMonitor(false);
  } else {
    Monitor().runFlags.store(RunFlags(true, false));
    reachedPoll = RunOpenConnection();
    // Closed before the window turns idle, so a new connection never meets this one's port.
    modem::ClosePort(port);
  }

  NotifyConnectionEnded(reachedPoll);
  window.ShowConnectionState(ConnectionState::idle);
  window.SetWindowLayout(WindowLayout::PortLayout);
  const bool exitAfter = Monitor().runFlags.exchange(RunFlags()).ExitAfter();
  if (exitAfter) ExitProgram();
  Monitor().threadRunning.store(false);
}

}  // namespace

bool InitCore(WindowOps& window, RunObserver* observer) {
  Monitor().window.store(&window);
  Monitor().observer.store(observer);
  return true;
}

void StartMonitor() {
  if (ConnectionActive() || Monitor().threadRunning.exchange(true)) return;
  Window().PrepareConnection();
  RunFlags flags = Monitor().runFlags.load();
  while (!Monitor().runFlags.compare_exchange_weak(flags, RunFlags(flags.Active(), false))) {
  }
  std::thread(MonitorThread).detach();
}

bool StopMonitor(bool exitAfter) {
  RunFlags flags = Monitor().runFlags.load();
  do {
    if (!flags.Active()) return flags.ExitAfter();
  } while (!Monitor().runFlags.compare_exchange_weak(flags, RunFlags(false, exitAfter)));
  Window().ShowConnectionState(ConnectionState::disconnecting);
  // After the state: a read cut short by this is always seen as a stop, never as a fault.
  modem::InterruptPort(modem::ActivePort());
  if (!exitAfter) Window().SetWindowLayout(WindowLayout::PortLayout);
  return exitAfter;
}

void ExitProgram() { Window().ExitProgram(); }

void StartCall(bool dial, const std::string& number) {
  if (dial) {
    {
      std::lock_guard lock(Monitor().dialNumberMutex);
      Monitor().dialNumber = number;
    }
    std::thread([] {
      std::string dialled;
      {
        std::lock_guard lock(Monitor().dialNumberMutex);
        dialled = Monitor().dialNumber;  // read when the worker runs, not when it was started
      }
      modem::RunCommand("ATD", dialled + ";");
    }).detach();
  } else {
    std::thread([] { modem::RunCommand("ATH", ""); }).detach();
  }
}

bool ConnectionActive() { return Monitor().runFlags.load().Active(); }
bool ExitAfterStop() { return Monitor().runFlags.load().ExitAfter(); }
bool MonitorThreadRunning() { return Monitor().threadRunning.load(); }

}  // namespace core
