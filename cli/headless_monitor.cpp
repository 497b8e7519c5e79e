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
#include "core/monitor.h"
#include "gps/gps_link.h"
#include "history/run_events.h"
#include "log/log_writer.h"
#include "parser/measurement_fields.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "sites/cycle_message.h"
#include "sites/event_message.h"
#include "sites/live_cycle.h"
#include "survey/cycle_stamp.h"

namespace cli {
namespace {

using namespace platform::literals;

// The window operations, answered by printing. All calls come from the monitor thread.
class HeadlessWindow : public core::WindowOps, public parser::FieldSink {
 public:
  HeadlessWindow(const MonitorOptions& options, ValueOutput& output) : options_(options), output_(output) {}

  void ShowConnectionState(core::ConnectionState) override {}
  void SetWindowLayout(core::WindowLayout) override {}
  core::PortSettings ReadPortSettings() override { return {options_.port, options_.speed}; }
  void ShowError(const std::string& text) override {
    errorShown_.store(true);
    output_.Error(text);
    if (publisher_) publisher_->Event({{"event", "error"}, {"text", platform::Cp1251ToPrintable(text)}});
    std::cerr << platform::Cp1251ToPrintable(text) << std::endl;
  }
  void MarkFields(bool withIdentity, parser::SweepPass pass) override { model_.Mark(withIdentity, pass); }
  void PrepareConnection() override {}
  void ExitProgram() override {}

  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override {
    model_.Show(fieldCode, cellIndex, value.text);
    output_.Value(fieldCode, cellIndex, value.text);
    if (polling_) {
      cycleValues_.push_back({fieldCode, cellIndex, value.text, value.number});
    } else if (cellIndex == 0) {
      identity_[fieldCode] = value.text;
    }
  }

  // From the start of polling, values belong to cycles; before it, to the modem's identity.
  void PollStarted() { polling_ = true; }
  std::vector<radio::DeliveredField> TakeCycleValues() { return std::exchange(cycleValues_, {}); }
  sites::SiteIdentity Identity() const {
    const auto text = [this](int code) {
      const auto it = identity_.find(code);
      return it == identity_.end() || it->second == parser::kNotAvailable ? std::string()
                                                                          : platform::Cp1251ToPrintable(it->second);
    };
    return {text(parser::fcImei), text(parser::fcManufacturer), text(parser::fcModel), text(parser::fcFirmware)};
  }
  // Errors from now on are published too; on the monitor thread.
  void SetPublisher(sites::SitePublisher* publisher) { publisher_ = publisher; }

  const DisplayModel& Model() const { return model_; }
  bool ErrorShown() const { return errorShown_.load(); }

 private:
  const MonitorOptions& options_;
  ValueOutput& output_;
  DisplayModel model_;
  std::atomic<bool> errorShown_{false};
  // On the monitor thread only.
  bool polling_ = false;
  std::vector<radio::DeliveredField> cycleValues_;
  std::map<int, std::string> identity_;
  sites::SitePublisher* publisher_ = nullptr;
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

// Counts cycles, stamps each with its time and position, prints it, keeps the log, and asks for
// the stop after the last cycle.
class HeadlessRun : public core::RunObserver {
 public:
  HeadlessRun(const MonitorOptions& options, HeadlessWindow& window, ValueOutput& output, gsmlog::TLogWriter& writer,
              const gps::GpsLink& gps, GpsReport* gpsReport, std::optional<mqtt::BrokerUrl> broker)
      : options_(options),
        broker_(std::move(broker)),
        window_(window),
        output_(output),
        gps_(gps),
        gpsReport_(gpsReport),
        recorder_(
            window, writer, nullptr,
            [&options](const std::string& nameUsed) {
              if (nameUsed == options.logFile) return;
              std::cerr << "Протокол записывается в файл " << platform::Cp1251ToUtf8(platform::FileNameText(nameUsed))
                        << std::endl;
            },
            [this](gsmlog::TLogWriter& log) { survey::HoldCycleRecords(log, stamp_); }) {}

  // The log named by --log, before the connection starts.
  bool StartLog() { return recorder_.StartLog(options_.logFile); }

  void PollStarted() override {
    recorder_.PollStarted();
    if (gpsReport_) gpsReport_->PollStarted();
    window_.PollStarted();
    // The topics carry the IMEI, so the broker is called once the identity is in.
    if (broker_ && !publisher_) {
      publisher_ = std::make_unique<sites::SitePublisher>(*broker_, options_.mqtt, window_.Identity());
      publisher_->Start();
      window_.SetPublisher(publisher_.get());
    }
  }
  void CycleCompleted(int n) override {
    stamp_ = survey::StampCycle(gps_.Fresh());
    recorder_.CycleCompleted(n);
    const radio::Cycle cycle = sites::CycleOfDelivered(n, stamp_, window_.TakeCycleValues());
    const nlohmann::ordered_json message =
        sites::CycleObject(cycle, publisher_ ? publisher_->Session() : std::string());
    output_.CycleEnded(cycle, window_.Model(), message);
    if (publisher_) publisher_->Cycle(message);
    cyclesDone_.store(n);
    // Output nobody can receive ends the run, as the last cycle asked for does.
    if (output_.Failed() || (options_.cycles > 0 && n >= options_.cycles)) core::StopMonitor(false);
  }
  void ConnectionEnded(bool reachedPoll) override { recorder_.ConnectionEnded(reachedPoll); }

  int CyclesDone() const { return cyclesDone_.load(); }
  // On the monitor thread, or after it has ended.
  sites::SitePublisher* Publisher() const { return publisher_.get(); }

 private:
  const MonitorOptions& options_;
  const std::optional<mqtt::BrokerUrl> broker_;
  std::unique_ptr<sites::SitePublisher> publisher_;  // made and fed on the monitor thread
  HeadlessWindow& window_;
  ValueOutput& output_;
  const gps::GpsLink& gps_;
  GpsReport* gpsReport_;
  survey::CycleStamp stamp_;  // the running cycle's, on the monitor thread only
  core::LogRecorder recorder_;
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
  gsmlog::TLogWriter& writer = gsmlog::ProgramLogWriter();
  // Shared with the gpsd client's thread, which may outlive this function by a moment.
  std::shared_ptr<GpsReport> gpsReport;
  gps::GpsLink gps;
  if (!options.noGps) {
    if (const auto address = gps::ParseGpsdAddress(options.gpsd)) {
      gpsReport = std::make_shared<GpsReport>(gps::FormatGpsdAddress(*address));
      gps.Start(*address, [report = gpsReport](bool linked) { report->Linked(linked); });
    }
  }
  HeadlessRun run(options, window, output, writer, gps, gpsReport.get(), broker);
  // The events go out on the monitor thread, as the values and the cycles do, and to the broker
  // once its publisher is made.
  history::RunEvents events(writer, run, writer, [&output, &run](const history::CellEvent& event) {
    output.Event(event);
    if (sites::SitePublisher* publisher = run.Publisher()) publisher->Event(sites::EventObject(event));
  });
  events.SetThreshold(options.levelThreshold);
  parser::SetDisplaySink(&window);
  parser::SetLogSink(&events);

  if ((options.logRequested || !options.logFile.empty()) && !run.StartLog()) return 1;

  core::InitCore(window, &events);
  core::StartMonitor();

  bool stopRequested = false;
  const timespec tick{0, 100'000'000};
  while (core::MonitorThreadRunning()) {
    const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
    if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
      if (stopRequested) {  // a second request does not wait for the modem
        std::cout.flush();
        std::_Exit(130);
      }
      stopRequested = true;
    }
    // Repeated, since a request that comes before the port is open has nothing to stop yet.
    if (stopRequested && core::ConnectionActive()) core::StopMonitor(false);
  }

  parser::SetDisplaySink(nullptr);
  parser::SetLogSink(nullptr);
  if (sites::SitePublisher* publisher = run.Publisher()) {
    const timespec none{0, 0};
    publisher->Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10),
                      [&] { return sigtimedwait(&stopSignals, nullptr, &none) > 0; });
  }
  if (FinishOutput(std::cout) != 0 || window.ErrorShown()) return 1;
  const bool finished = stopRequested || (options.cycles > 0 && run.CyclesDone() >= options.cycles);
  if (!finished) {
    std::cerr << "Связь с GSM-модемом прервана" << std::endl;
    return 2;
  }
  return 0;
}

}  // namespace cli
