#include "cli/headless_monitor.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "cli/standard_output.h"
#include "cli/stop_signals.h"
#include "core/log_recorder.h"
#include "core/session.h"
#include "dialects/dialect.h"
#include "gps/gps_link.h"
#include "history/run_events.h"
#include "log/log_writer.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "sites/cycle_message.h"
#include "sites/event_message.h"
#include "sites/site_publishing.h"
#include "survey/cycle_stamp.h"

namespace cli {
namespace {

using namespace platform::literals;

// The window operations, answered by printing. All calls come from the monitor thread.
class HeadlessWindow : public core::WindowOps {
 public:
  HeadlessWindow(const MonitorOptions& options, ValueOutput& output) : options_(options), output_(output) {}

  void ShowConnectionState(core::ConnectionState) override {}
  void SetWindowLayout(core::WindowLayout) override {}
  core::PortSettings ReadPortSettings() override { return {options_.port, options_.speed}; }
  void ShowError(const std::string& text) override {
    errorShown_.store(true);
    output_.Error(text);
    std::cerr << platform::Cp1251ToPrintable(text) << std::endl;
  }
  void MarkFields(bool withIdentity, parser::SweepPass pass) override { model_.Mark(withIdentity, pass); }
  void PrepareConnection() override {}
  void ExitProgram() override {}

  void ShowValue(const radio::DeliveredField& field) override {
    model_.Show(field.code, field.cell, field.text);
    output_.Value(field.code, field.cell, field.text);
  }

  const DisplayModel& Model() const { return model_; }
  bool ErrorShown() const { return errorShown_.load(); }

 private:
  const MonitorOptions& options_;
  ValueOutput& output_;
  DisplayModel model_;
  std::atomic<bool> errorShown_{false};
};

// Says on stderr when gpsd does not answer, stops answering or answers again, from the start of
// polling on (before it, a failing port or modem is the one message to read).
class GpsReport {
 public:
  explicit GpsReport(std::string address) : address_(std::move(address)) {}

  // On the gpsd client's thread.
  void Linked(bool linked) {
    std::lock_guard lock(mutex_);
    linked_ = linked;
    if (polling_) SayLocked();
  }
  // On the monitor thread.
  void PollStarted() {
    std::lock_guard lock(mutex_);
    polling_ = true;
    if (linked_) SayLocked();
  }

 private:
  void SayLocked() {
    const bool linked = *linked_;
    if (said_ && *said_ == linked) return;
    if (!linked) {
      std::cerr << (said_ ? "Связь с gpsd " + address_ + " прервана" : "Нет связи с gpsd " + address_) << std::endl;
    } else if (said_) {
      std::cerr << "Связь с gpsd " << address_ << " восстановлена" << std::endl;
    }
    said_ = linked;
  }

  std::mutex mutex_;
  const std::string address_;
  std::optional<bool> linked_;
  std::optional<bool> said_;  // the state last told, nothing before the first
  bool polling_ = false;
};

// Prints each cycle, tells gpsd's report that polling started, and asks for the stop after the
// last cycle.
class HeadlessOutput : public core::RunConsumer {
 public:
  HeadlessOutput(const MonitorOptions& options, HeadlessWindow& window, ValueOutput& output, GpsReport* gpsReport,
                 const sites::SitePublishing& publishing)
      : options_(options), window_(window), output_(output), gpsReport_(gpsReport), publishing_(publishing) {}

  void SetSession(core::Session& session) { session_ = &session; }

  // The dialect of a family of its own is said at the start; the seed family's run says nothing
  // more than it always did.
  void DialectTold(const core::DialectNote& note) override {
    output_.SetDialect(note.dialect);
    switch (note.kind) {
      case core::DialectNote::Kind::inUse:
        if (note.dialect != dialects::kSeedDialect) std::cerr << "Диалект модема: " << note.dialect << std::endl;
        break;
      case core::DialectNote::Kind::fallback:
        std::cerr << "Модем не дает отчет " << note.command << ", опрос продолжается командами 3GPP (диалект "
                  << note.dialect << ")" << std::endl;
        break;
      case core::DialectNote::Kind::refused:
        std::cerr << "Модем отклонил команду " << note.command << ", она больше не посылается" << std::endl;
        break;
    }
    output_.DialectNote(note.kind == core::DialectNote::Kind::refused ? "command_refused" : "dialect", note.dialect,
                        note.command, note.kind == core::DialectNote::Kind::inUse);
  }

  void RunStarted(const core::RunStart& /*start*/) override {
    if (gpsReport_) gpsReport_->PollStarted();
  }
  void CycleCompleted(const radio::Cycle& cycle) override {
    const int n = static_cast<int>(cycle.n);
    const nlohmann::ordered_json message = sites::CycleObject(cycle, publishing_.Session());
    output_.CycleEnded(cycle, window_.Model(), message);
    cyclesDone_.store(n);
    // Output nobody can receive ends the run, as the last cycle asked for does.
    if (output_.Failed() || (options_.cycles > 0 && n >= options_.cycles)) session_->StopMonitor(false);
  }

  int CyclesDone() const { return cyclesDone_.load(); }

 private:
  const MonitorOptions& options_;
  HeadlessWindow& window_;
  ValueOutput& output_;
  GpsReport* gpsReport_;
  const sites::SitePublishing& publishing_;  // its run's session names the cycles too
  core::Session* session_ = nullptr;
  std::atomic<int> cyclesDone_{0};
};

}  // namespace

int RunHeadlessMonitor(const MonitorOptions& options) {
  // Ctrl+C, SIGTERM and a hang-up of the terminal are taken by this thread alone, never by the
  // monitor thread, and each ends the run as the disconnect button does.
  const sigset_t stopSignals = BlockStopSignals();

  std::optional<mqtt::BrokerUrl> broker;
  if (!options.mqtt.url.empty()) {
    std::string message;
    broker = sites::BrokerOf(options.mqtt, message);
    if (!broker) {
      std::cerr << message << std::endl;
      return 1;
    }
  }

  ValueOutput output(options.format, std::cout, options.rawFields);
  HeadlessWindow window(options, output);
  gsmlog::TLogWriter writer;
  // Shared with the gpsd client's thread, which may outlive this function by a moment.
  std::shared_ptr<GpsReport> gpsReport;
  gps::GpsLink gps;
  if (!options.noGps) {
    if (const auto address = gps::ParseGpsdAddress(options.gpsd)) {
      // A run that did not ask for GPS takes positions where gpsd answers and says nothing of it.
      if (options.gpsdRequested) {
        gpsReport = std::make_shared<GpsReport>(gps::FormatGpsdAddress(*address));
        gps.Start(*address, [report = gpsReport](bool linked) { report->Linked(linked); });
        output.ShowGpsStatus([&gps] { return gps.Status(); }, gps::FormatGpsdAddress(*address));
      } else {
        gps.Start(*address);
      }
    }
  }
  sites::SitePublishing publishing(
      [&](std::string&) -> std::optional<sites::SitePublishing::Target> {
        if (!broker) return std::nullopt;
        return sites::SitePublishing::Target{*broker, options.mqtt};
      },
      false);
  HeadlessOutput printing(options, window, output, gpsReport.get(), publishing);
  // The events go out on the monitor thread, as the cycles do, and to the broker once its
  // publisher is made.
  history::RunEvents events(writer, [&output, &publishing](const history::CellEvent& event) {
    output.Event(event);
    publishing.Event(event);
  });
  events.SetThreshold(options.levelThreshold);
  core::LogRecorder recorder(
      window, writer, nullptr,
      [&options](const std::string& nameUsed) {
        if (nameUsed == options.logFile) return;
        std::cerr << "Протокол записывается в файл " << platform::Cp1251ToUtf8(platform::FileNameText(nameUsed))
                  << std::endl;
      },
      [&events](gsmlog::TLogWriter& log, const radio::Cycle& cycle) {
        events.HoldRecords(log);
        survey::HoldCycleRecords(log, cycle);
      });

  recorder.SetBeforeValues([&events](gsmlog::TLogWriter& log, const radio::Cycle&) { events.HoldLeadingRecords(log); });
  if ((options.logRequested || !options.logFile.empty()) && !recorder.StartLog(options.logFile)) return 1;

  core::Session session(window, {&events, &recorder, &publishing, &printing}, [&gps] { return gps.Fresh(); });
  session.SetDialect(options.dialect);
  printing.SetSession(session);
  session.StartMonitor();

  bool stopRequested = false;
  const timespec tick{0, 100'000'000};
  while (session.MonitorThreadRunning()) {
    const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
    if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
      if (stopRequested) {  // a second request does not wait for the modem
        std::cout.flush();
        std::_Exit(130);
      }
      stopRequested = true;
    }
    // Repeated, since a request that comes before the port is open has nothing to stop yet.
    if (stopRequested && session.ConnectionActive()) session.StopMonitor(false);
  }
  session.Join();

  if (const auto publisher = publishing.TakePublisher()) {
    const timespec none{0, 0};
    // A second request does not wait for the broker either.
    publisher->Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10), [&] {
      if (sigtimedwait(&stopSignals, nullptr, &none) <= 0) return false;
      std::cout.flush();
      std::_Exit(130);
    });
  }
  if (FinishOutput(std::cout) != 0 || window.ErrorShown()) return 1;
  const bool finished = stopRequested || (options.cycles > 0 && printing.CyclesDone() >= options.cycles);
  if (!finished) {
    std::cerr << "Связь с GSM-модемом прервана" << std::endl;
    return 2;
  }
  return 0;
}

}  // namespace cli
