#include "core/session.h"

#include <chrono>
#include <utility>

#include "core/dialect_exchange.h"
#include "core/open_port_message.h"
#include "core/poll_cycle.h"
#include "modem/com_port.h"
#include "modem/modem.h"
#include "parser/cycle_fields.h"
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

// What the seed family's report would show of a cycle: its GSM cells, the neighbours in the
// columns of the first six GSM ones.
radio::Cycle GsmView(const radio::Cycle& cycle) {
  radio::Cycle view;
  if (cycle.serving && cycle.serving->tech() == radio::Tech::gsm) view.serving = cycle.serving;
  for (const radio::Cell& cell : cycle.neighbours) {
    if (cell.tech() == radio::Tech::gsm) view.neighbours.push_back(cell);
  }
  return view;
}

}  // namespace

Session::Session(WindowOps& window, std::vector<RunConsumer*> consumers, PositionSource positionSource)
    : window_(window),
      consumers_(std::move(consumers)),
      positionSource_(std::move(positionSource)),
      builder_([this](const radio::DeliveredField& field) {
        window_.ShowValue(field);
        for (RunConsumer* consumer : consumers_) consumer->IdentityAnswered(field);
      }) {}

Session::~Session() {
  StopMonitor(false);
  Join();
  JoinFinishedWorkers(true);
}

void Session::Join() {
  std::lock_guard lock(threadMutex_);
  if (thread_.joinable()) thread_.join();
}

// One poll cycle; false when the loop must end. The first cycle's stop check is the one made
// before the recording started.
bool Session::RunPollCycle(long n) {
  if (n > 1 && !ConnectionActive()) return false;
  if (dialect_ != nullptr) return RunDialectCycle(n);
  bool refused = false;
  if (!PollServingCell(&refused)) {
    // A modem of no known family that refuses the seed family's report goes on with the 3GPP
    // baseline; one that fell silent, answered something else or was stopped ends as before.
    if (n == 1 && refused && fallbackToBaseline_ && !StopCutIn() && ConnectionActive() && SwitchToBaseline()) {
      return RunDialectCycle(n);
    }
    return false;
  }
  std::this_thread::sleep_for(kPauseBeforeNeighbours);
  // A stop lets a modem that answers promptly finish the cycle; one that cut the report short
  // leaves no complete cycle.
  if (!PollNeighbourCells() || StopCutIn()) return false;
  radio::Cycle cycle = builder_.TakeCycle(n);
  CompleteCycle(cycle, n);
  return true;
}

// Shows and hands on a cycle whose values are complete, then pauses before the next.
void Session::CompleteCycle(radio::Cycle& cycle, long n) {
  cycle.time = std::chrono::system_clock::now();
  if (positionSource_) cycle.position = positionSource_();
  window_.ShowCycle(cycle);
  window_.MarkFields(false, parser::SweepPass::markMissing);
  for (RunConsumer* consumer : consumers_) consumer->CycleCompleted(cycle);
  cyclesDone_.store(n);
  std::this_thread::sleep_for(kPauseBetweenCycles);
  window_.MarkFields(false, parser::SweepPass::reset);
}

void Session::Tell(const DialectNote& note) {
  for (RunConsumer* consumer : consumers_) consumer->DialectTold(note);
}

void Session::SetDialect(std::string name) {
  std::lock_guard lock(dialectMutex_);
  dialectName_ = std::move(name);
}

// The dialect named, else the family the identity names; a modem of no known family is polled
// the seed family's way first.
void Session::ChooseDialect() {
  std::string name;
  {
    std::lock_guard lock(dialectMutex_);
    name = dialectName_;
  }
  const bool named = !name.empty();
  if (!named) {
    const radio::Identity identity = builder_.Identity();
    name = dialects::FamilyOfIdentity(identity.manufacturer, identity.model);
  }
  fallbackToBaseline_ = name.empty();
  if (name.empty()) name = dialects::kSeedDialect;
  dialect_ = dialects::DialectNamed(name);
  commands_.reset();
  if (dialect_ != nullptr) commands_.emplace(*dialect_);
  Tell({DialectNote::Kind::inUse, std::string(name), {}});
}

// True when the modem answers the baseline's set-up: it is there, and the run goes on with it.
bool Session::SwitchToBaseline() {
  const dialects::Dialect* baseline = dialects::DialectNamed(dialects::kBaselineDialect);
  if (baseline == nullptr || !SetUpDialect(*baseline)) return false;
  dialect_ = baseline;
  commands_.emplace(*baseline);
  fallbackToBaseline_ = false;
  Tell({DialectNote::Kind::fallback, std::string(dialects::kBaselineDialect), "AT^MONI"});
  return true;
}

// One cycle of a family's dialect: each command still polled, its answer read into the cycle;
// a refused command is said once and left out from then on. The GSM cells' values are delivered
// as the seed family's report would give them, for the window, the log and the report.
bool Session::RunDialectCycle(long n) {
  // A modem that refused every command has nothing left to poll.
  if (!ConnectionActive() || commands_->Active().empty()) return false;
  dialects::CycleFacts facts;
  for (const dialects::PollCommand& command : commands_->Active()) {
    const Answer answer = ExchangeCommand(command.text);
    if (answer.kind == AnswerKind::silent || !ConnectionActive()) return false;
    if (answer.kind == AnswerKind::refused) {
      if (commands_->Refuse(command.text)) {
        Tell({DialectNote::Kind::refused, std::string(dialect_->name), std::string(command.text)});
      }
      continue;
    }
    command.read(answer.text, facts);
  }
  radio::Cycle cycle = dialects::CycleOfFacts(facts);
  const radio::Cycle taken = builder_.TakeCycle(n);
  cycle.n = taken.n;
  cycle.identity = taken.identity;
  cycle.delivered = parser::FieldsOfCycle(GsmView(cycle));
  CompleteCycle(cycle, n);
  return true;
}

// The modem reset with "ATZ" as the connection ends, within its budget.
void Session::ResetOnClose() {
  modem::BeginFinalExchange(link_.Port(), kFinalExchangeBudget);
  modem::RunCommand("ATZ", "");
}

// True when the last exchange was cut short by a stop request.
bool Session::StopCutIn() { return modem::PortInterrupted(link_.Port()); }

// Everything between an open port and the clean-up. True when the connection reached the poll.
bool Session::RunOpenConnection() {
  if (!ResetModem()) {
    // A stop during the reset cut it short: that is no fault of the modem's.
    if (StopCutIn()) {
      ResetOnClose();
      return false;
    }
    const std::string text("Нет связи с GSM-модемом"_cp1251);
    window_.ShowError(text);
    for (RunConsumer* consumer : consumers_) consumer->ErrorShown(text);
    StopMonitor(false);
    return false;
  }
  window_.SetWindowLayout(WindowLayout::ModemLayout);
  window_.ShowConnectionState(ConnectionState::connected);
  if (!QueryIdentity()) {
    // A refused query ends quietly, without resetting the modem; a stop still resets it.
    if (StopCutIn()) ResetOnClose();
    return false;
  }

  window_.SetWindowLayout(WindowLayout::MonitorLayout);
  // A stop during the identity queries ends the connection before a log is created for it.
  const bool pollStarted = ConnectionActive();
  if (pollStarted) {
    builder_.StartPolling();
    polling_.store(true);
    ChooseDialect();
    const RunStart start{builder_.Identity(), std::chrono::system_clock::now()};
    for (RunConsumer* consumer : consumers_) consumer->RunStarted(start);
    if (dialect_ != nullptr) SetUpDialect(*dialect_);
    for (long n = 1; RunPollCycle(n); ++n) {
    }
  }
  ResetOnClose();
  return pollStarted;
}

void Session::MonitorThread() {
  const modem::ScopedLink link(link_);
  const parser::ScopedThreadSink sink(&builder_);
  builder_.Reset();
  cyclesDone_.store(0);
  polling_.store(false);
  window_.ShowConnectionState(ConnectionState::connecting);
  const PortSettings settings = window_.ReadPortSettings();
  window_.MarkFields(true, parser::SweepPass::reset);
  window_.MarkFields(true, parser::SweepPass::markMissing);

  bool reachedPoll = false;
  modem::PortHandle port;
  platform::SystemError openError;
  const bool opened =
      modem::OpenPort(port, settings.portName, settings.speed, kReadTimeoutMs, false, false, &openError);
  link_.SetPort(port);
  if (!opened) {
    const std::string text = OpenPortMessage(settings.portName, openError);
    window_.ShowError(text);
    for (RunConsumer* consumer : consumers_) consumer->ErrorShown(text);
    StopMonitor(false);
  } else {
    runFlags_.store(RunFlags(true, false));
    reachedPoll = RunOpenConnection();
    // Closed before the window turns idle, so a new connection never meets this one's port.
    modem::ClosePort(port);
  }

  // A connection that ended while still active ended by itself: the modem stopped answering.
  const RunEnd end{reachedPoll, reachedPoll && ConnectionActive(), cyclesDone_.load()};
  for (RunConsumer* consumer : consumers_) consumer->RunEnded(end);
  window_.ShowConnectionState(ConnectionState::idle);
  window_.SetWindowLayout(WindowLayout::PortLayout);
  const bool exitAfter = runFlags_.exchange(RunFlags()).ExitAfter();
  if (exitAfter) ExitProgram();
  threadRunning_.store(false);
}

void Session::StartMonitor() {
  if (ConnectionActive() || threadRunning_.exchange(true)) return;
  // The previous connection's thread has finished (threadRunning_ was false): collect it.
  Join();
  window_.PrepareConnection();
  RunFlags flags = runFlags_.load();
  while (!runFlags_.compare_exchange_weak(flags, RunFlags(flags.Active(), false))) {
  }
  std::lock_guard lock(threadMutex_);
  thread_ = std::thread(&Session::MonitorThread, this);
}

bool Session::StopMonitor(bool exitAfter) {
  RunFlags flags = runFlags_.load();
  do {
    if (!flags.Active()) return flags.ExitAfter();
  } while (!runFlags_.compare_exchange_weak(flags, RunFlags(false, exitAfter)));
  window_.ShowConnectionState(ConnectionState::disconnecting);
  // After the state: a read cut short by this is always seen as a stop, never as a fault. A poll
  // cycle of a modem that answers promptly finishes; anything before the poll ends at once.
  modem::InterruptPort(link_.Port(), polling_.load() ? modem::StopKind::finishExchange : modem::StopKind::now);
  if (!exitAfter) window_.SetWindowLayout(WindowLayout::PortLayout);
  return exitAfter;
}

void Session::ExitProgram() { window_.ExitProgram(); }

void Session::JoinFinishedWorkers(bool all) {
  std::vector<Worker> finished;
  {
    std::lock_guard lock(workersMutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (all || it->done->load()) {
        finished.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Worker& worker : finished) worker.thread.join();
}

void Session::StartCall(bool dial, const std::string& number) {
  JoinFinishedWorkers(false);
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(workersMutex_);
  if (dial) dialNumber_ = number;
  std::thread worker([this, dial, done] {
    const modem::ScopedLink link(link_);
    const parser::ScopedThreadSink sink(&builder_);
    if (dial) {
      std::string dialled;
      {
        std::lock_guard numberLock(workersMutex_);
        dialled = dialNumber_;  // read when the worker runs, not when it was started
      }
      modem::RunCommand("ATD", dialled + ";");
    } else {
      modem::RunCommand("ATH", "");
    }
    done->store(true);
  });
  workers_.push_back({std::move(worker), std::move(done)});
}

bool Session::ConnectionActive() const { return runFlags_.load().Active(); }
bool Session::ExitAfterStop() const { return runFlags_.load().ExitAfter(); }
bool Session::MonitorThreadRunning() const { return threadRunning_.load(); }

}  // namespace core
