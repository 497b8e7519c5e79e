#include "cli/collector.h"

#include <unistd.h>

#include <csignal>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "cli/stop_signals.h"
#include "core/log_recorder.h"
#include "core/window_ops.h"
#include "log/log_record.h"
#include "log/log_writer.h"
#include "mqtt/mqtt_client.h"
#include "parser/cycle_fields.h"
#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "sites/cycle_message.h"
#include "survey/survey_text.h"

namespace cli {
namespace {

// The collector's errors (a log that cannot be created or written) go to stderr.
class CollectorWindow : public core::WindowOps {
 public:
  void ShowConnectionState(core::ConnectionState) override {}
  void SetWindowLayout(core::WindowLayout) override {}
  core::PortSettings ReadPortSettings() override { return {}; }
  void ShowError(const std::string& text) override { std::cerr << platform::Cp1251ToPrintable(text) << std::endl; }
  void MarkFields(bool, parser::SweepPass) override {}
  void ShowValue(const radio::DeliveredField&) override {}
  void PrepareConnection() override {}
  void ExitProgram() override {}
};

// A cycle remembered as written: the site's run and the cycle's number.
constexpr std::size_t kRememberedCycles = 20'000;

struct Site {
  std::string level;  // the topic level, also the folder's name
  gsmlog::TLogWriter writer;
  std::unique_ptr<core::LogRecorder> recorder;
  std::string logSession;  // the run the open log belongs to
  std::string logDay;      // "YYYY-MM-DD" of the open log
  long cyclesInLog = 0;
  // From the site's "online" status (Windows-1251), for the summary's identity.
  std::string imei, model;
  std::string statusSession;
  std::set<std::pair<std::string, long long>> written;  // recent cycles, to skip repeats
  std::deque<std::pair<std::string, long long>> writtenOrder;
  // The cycle being sealed: its time and position records go in just before the seal.
  const sites::ParsedCycle* sealing = nullptr;
};

class Collector {
 public:
  Collector(std::filesystem::path dir, std::string prefix) : dir_(std::move(dir)), prefix_(std::move(prefix)) {}

  // On the subscriber's network thread, one message at a time.
  void Receive(const std::string& topic, const std::uint8_t* payload, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(payload), size);
    std::string_view rest(topic);
    if (!rest.starts_with(prefix_ + "/")) return Malformed(topic, "topic outside the prefix");
    rest.remove_prefix(prefix_.size() + 1);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return Malformed(topic, "topic without a kind");
    const std::string level(rest.substr(0, slash));
    const std::string_view kind = rest.substr(slash + 1);
    if (level != mqtt::TopicLevel(level)) return Malformed(topic, "topic level is no IMEI");
    if (kind == "cycle") return Cycle(topic, level, text);
    if (kind == "status") return Status(topic, level, text);
    if (kind == "event") {
      if (size > sites::kMaxCycleMessage || nlohmann::json::parse(text, nullptr, false).is_discarded()) {
        return Malformed(topic, "event is no JSON");
      }
      ++counts_.events;
      return;
    }
    Malformed(topic, "unknown kind");
  }

  // After the subscriber has stopped: every open log gets its summary.
  void CompleteAll() {
    for (auto& [level, site] : sites_) CompleteLog(*site);
  }

  const CollectCounts& Counts() const { return counts_; }

 private:
  void Malformed(const std::string& topic, const std::string& why) {
    ++counts_.malformed;
    // The first few are told; a flood of them is only counted.
    if (counts_.malformed <= 10) {
      std::cerr << "Пропущено сообщение " << platform::Cp1251ToPrintable(topic.substr(0, 200)) << ": " << why
                << std::endl;
    }
  }

  Site& SiteOf(const std::string& level) {
    auto& site = sites_[level];
    if (!site) {
      site = std::make_unique<Site>();
      site->level = level;
      Site* self = site.get();
      site->recorder = std::make_unique<core::LogRecorder>(
          window_, site->writer, nullptr, nullptr, [self](gsmlog::TLogWriter& writer, const radio::Cycle&) {
            if (self->sealing == nullptr) return;
            writer.Hold(gsmlog::kCycleTimeCode, self->sealing->time);
            if (self->sealing->cycle.position)
              writer.Hold(gsmlog::kCyclePositionCode, survey::FormatPosition(*self->sealing->cycle.position));
          });
    }
    return *site;
  }

  void Status(const std::string& topic, const std::string& level, std::string_view text) {
    const auto status = text.size() <= sites::kMaxCycleMessage ? nlohmann::json::parse(text, nullptr, false)
                                                               : nlohmann::json(nlohmann::json::value_t::discarded);
    if (!status.is_object() || !status.contains("status") || !status["status"].is_string()) {
      return Malformed(topic, "status is no JSON object with a status");
    }
    const auto field = [&](const char* key) -> std::optional<std::string> {
      const auto it = status.find(key);
      if (it == status.end() || it->is_null()) return std::string();
      if (!it->is_string()) return std::nullopt;
      return sites::MessageText(it->get_ref<const std::string&>(), 128);
    };
    const auto imei = field("imei");
    const auto model = field("model");
    const auto session = field("session");
    if (!imei || !model || !session) return Malformed(topic, "bad status texts");
    ++counts_.statuses;
    Site& site = SiteOf(level);
    const std::string& state = status["status"].get_ref<const std::string&>();
    if (state == "online") {
      site.imei = *imei;
      site.model = *model;
      site.statusSession = *session;
      if (site.writer.IsOpen() && site.logSession == *session) FeedIdentity(site);
    } else if (state == "offline") {
      // The end of the run whose log is open: complete it now, with the summary. A site lost
      // (its last will, also sent when the broker shuts down) may come back with the same run, so
      // its log stays open, sealed, until the run ends, a new one begins or the collector stops.
      const auto reason = status.find("reason");
      const bool stopped = reason != status.end() && *reason == "stopped";
      if (stopped && site.writer.IsOpen() && *session == site.logSession) CompleteLog(site);
    }
  }

  void Cycle(const std::string& topic, const std::string& level, std::string_view text) {
    std::string why;
    const std::optional<sites::ParsedCycle> cycle = sites::ParseCycleMessage(text, why);
    if (!cycle) return Malformed(topic, why);
    Site& site = SiteOf(level);
    const std::pair<std::string, long long> key{cycle->session, cycle->cycle.n};
    if (site.written.contains(key)) {
      ++counts_.repeats;
      return;
    }
    const std::string day = cycle->time.substr(0, 10);
    if (site.writer.IsOpen() && (site.logSession != cycle->session || site.logDay != day)) CompleteLog(site);
    if (!site.writer.IsOpen() && !StartLog(site, *cycle, day)) return;

    radio::Cycle values;
    values.n = ++site.cyclesInLog;
    // The values as the modem's own report gave them, so a collected log reads as a site's own.
    values.delivered = parser::FieldsOfCycle(cycle->cycle);
    site.sealing = &*cycle;
    site.recorder->CycleCompleted(values);
    site.sealing = nullptr;

    site.written.insert(key);
    site.writtenOrder.push_back(key);
    if (site.writtenOrder.size() > kRememberedCycles) {
      site.written.erase(site.writtenOrder.front());
      site.writtenOrder.pop_front();
    }
    ++counts_.cycles;
  }

  bool StartLog(Site& site, const sites::ParsedCycle& cycle, const std::string& day) {
    std::error_code error;
    const std::filesystem::path folder = dir_ / site.level;
    std::filesystem::create_directories(folder, error);
    // "2026-12-09" gives 09122026.log, the log's own naming by date.
    const std::string name = day.substr(8, 2) + day.substr(5, 2) + day.substr(0, 4) + ".log";
    if (!site.recorder->StartLog((folder / name).string())) return false;
    site.logSession = cycle.session;
    site.logDay = day;
    site.cyclesInLog = 0;
    if (site.statusSession == cycle.session) FeedIdentity(site);
    return true;
  }

  // The identity goes into the summary of the log open now.
  static void FeedIdentity(Site& site) {
    if (!site.imei.empty()) site.writer.Field(parser::fcImei, 0, parser::TextValue(site.imei));
    if (!site.model.empty()) site.writer.Field(parser::fcModel, 0, parser::TextValue(site.model));
  }

  void CompleteLog(Site& site) {
    if (site.writer.IsOpen()) site.recorder->CompleteLog();
  }

  const std::filesystem::path dir_;
  const std::string prefix_;
  CollectorWindow window_;
  std::map<std::string, std::unique_ptr<Site>> sites_;
  CollectCounts counts_;
};

// The collector's own client id: the same on every start for the same folder on the same
// machine, so the broker keeps its session (and the cycles published meanwhile) while it is away.
std::string ClientId(const std::filesystem::path& dir) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::size_t hash = std::hash<std::string>{}(std::string(host) + "\n" + dir.string());
  char text[32];
  std::snprintf(text, sizeof text, "%016zx", hash);
  return std::string("ostrin_gsmmon_collect-") + text;
}

}  // namespace

int RunCollector(const CollectOptions& options) {
  const sigset_t stopSignals = BlockStopSignals();

  std::string message;
  const std::optional<mqtt::BrokerUrl> broker = sites::BrokerOf(options.mqtt, message);
  if (!broker) {
    std::cerr << message << std::endl;
    return 1;
  }
  std::error_code error;
  std::filesystem::create_directories(options.dir, error);
  const std::filesystem::path dir = std::filesystem::absolute(options.dir, error);
  if (!std::filesystem::is_directory(dir, error)) {
    std::cerr << "Невозможно создать папку протоколов \"" << options.dir << "\"" << std::endl;
    return 1;
  }

  Collector collector(dir, broker->prefix);
  mqtt::ClientOptions client;
  client.broker = *broker;
  client.clientId = ClientId(dir);
  client.cleanSession = false;
  client.caFile = options.mqtt.caFile;
  client.onProblem = [last = std::make_shared<std::pair<std::mutex, std::string>>()](const std::string& problem) {
    // Told on the connecting thread and on the network thread.
    std::lock_guard lock(last->first);
    if (problem == last->second) return;
    last->second = problem;
    std::cerr << "MQTT: " + problem + "\n" << std::flush;
  };
  const std::string address = broker->host + ":" + std::to_string(broker->port);
  auto linkChanged = [address](bool connected) {
    std::cerr << (connected ? "Подключено к брокеру MQTT " + address + "\n"
                            : "Связь с брокером MQTT " + address + " прервана\n")
              << std::flush;
  };
  const std::string& prefix = broker->prefix;
  mqtt::Subscriber subscriber(
      client, {prefix + "/+/cycle", prefix + "/+/status", prefix + "/+/event"},
      [&collector](const std::string& topic, const std::uint8_t* payload, std::size_t size) {
        collector.Receive(topic, payload, size);
      },
      linkChanged);
  subscriber.Start();

  while (true) {
    const int signal = sigwaitinfo(&stopSignals, nullptr);
    if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) break;
  }
  subscriber.Stop();
  collector.CompleteAll();
  const CollectCounts& counts = collector.Counts();
  std::cerr << "Записано циклов: " << counts.cycles << ", повторов: " << counts.repeats
            << ", пропущено сообщений: " << counts.malformed << std::endl;
  return 0;
}

}  // namespace cli
