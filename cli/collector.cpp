#include "cli/collector.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "cli/log_filing.h"
#include "cli/number_ranges.h"
#include "cli/stop_signals.h"
#include "history/cell_events.h"
#include "mqtt/mqtt_client.h"
#include "platform/text_encoding.h"
#include "sites/cycle_message.h"
#include "survey/survey_text.h"

namespace cli {
namespace {

// A topic or a text of a message (UTF-8) for stderr: its Russian letters as they are, anything
// that could drive the terminal as '?'.
std::string Printable(std::string_view utf8) { return platform::Cp1251ToPrintable(platform::Utf8ToCp1251(utf8)); }

// Takes each message apart, checks it and hands it to the filing; counts what it did, and the
// cycle numbers of every run, so that cycles that never came are said.
class Collector {
 public:
  Collector(CycleFiling& filing, std::string prefix) : filing_(filing), prefix_(std::move(prefix)) {}

  // On the subscriber's network thread, one message at a time. False when what the message holds
  // could not be stored: it is not acknowledged, and comes again.
  bool Receive(const std::string& topic, const std::uint8_t* payload, std::size_t size) {
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
    if (kind == "event") return Event(topic, level, text);
    return Malformed(topic, "unknown kind");
  }

  // After the subscriber has stopped: every open log gets its summary.
  void CompleteAll() { filing_.CompleteAll(); }

  const CollectCounts& Counts() {
    counts_.failures = filing_.Failures();
    counts_.missing = 0;
    for (const auto& [key, numbers] : received_) {
      for (const auto& [first, last] : numbers.Gaps()) counts_.missing += static_cast<std::uint64_t>(last - first + 1);
    }
    return counts_;
  }

  // A line for each run with cycles that never came: "сайт 356938035643809, сеанс ...: 5-7, 12".
  std::vector<std::string> MissingLines() const {
    std::vector<std::string> lines;
    for (const auto& [key, numbers] : received_) {
      const auto gaps = numbers.Gaps();
      if (gaps.empty()) continue;
      std::string line = "Не получены циклы сайта " + Printable(key.first) + ", сеанс " + Printable(key.second) + ":";
      std::size_t shown = 0;
      for (const auto& [first, last] : gaps) {
        if (++shown > 20) {
          line += " ...";
          break;
        }
        line += (shown > 1 ? ", " : " ") + std::to_string(first);
        if (last > first) line += "-" + std::to_string(last);
      }
      lines.push_back(line);
    }
    return lines;
  }

 private:
  bool Malformed(const std::string& topic, const std::string& why) {
    ++counts_.malformed;
    // The first few are told; a flood of them is only counted.
    if (counts_.malformed <= 10) {
      std::cerr << "Пропущено сообщение " + Printable(topic.substr(0, 200)) + ": " + why + "\n" << std::flush;
    }
    return true;
  }

  // A store that failed is not acknowledged: the message comes again.
  static bool Stored(Filed filed) { return filed != Filed::failed; }

  bool Status(const std::string& topic, const std::string& level, std::string_view text) {
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
    const std::string& state = status["status"].get_ref<const std::string&>();
    if (state == "online") {
      filing_.SiteOnline(level, SiteStatus{*imei, *model, *session});
    } else if (state == "offline") {
      // The end of the run: its log is complete. A site lost (its last will, also sent when the
      // broker shuts down) may come back with the same run, so its log stays as it is.
      const auto reason = status.find("reason");
      const bool stopped = reason != status.end() && *reason == "stopped";
      if (stopped && !session->empty()) return Stored(filing_.RunEnded(level, *session));
    }
    return true;
  }

  bool Event(const std::string& topic, const std::string& level, std::string_view text) {
    const auto event = text.size() <= sites::kMaxCycleMessage ? nlohmann::json::parse(text, nullptr, false)
                                                              : nlohmann::json(nlohmann::json::value_t::discarded);
    if (!event.is_object()) return Malformed(topic, "event is no JSON object");
    ++counts_.events;
    const auto textOf = [&](const char* key) -> std::optional<std::string> {
      const auto it = event.find(key);
      if (it == event.end() || it->is_null()) return std::string();
      if (!it->is_string()) return std::nullopt;
      return sites::MessageText(it->get_ref<const std::string&>(), 128);
    };
    const auto key = textOf("event");
    const auto time = textOf("time");
    const auto from = textOf("from");
    const auto to = textOf("to");
    const auto session = textOf("session");
    if (!key || !time || !from || !to || !session) return Malformed(topic, "bad event texts");
    const auto kind = history::EventKindOf(*key);
    // An error the site showed is no event of the log.
    if (!kind) return *key == "error" ? true : Malformed(topic, "unknown event");
    const auto parsed = survey::ParseIsoTime(*time);
    if (!parsed || !parsed->offsetMinutes || session->empty()) return Malformed(topic, "event without time or session");
    history::CellEvent cellEvent;
    cellEvent.kind = *kind;
    cellEvent.from = *from;
    cellEvent.to = *to;
    if (const auto threshold = event.find("threshold"); threshold != event.end() && threshold->is_number_integer()) {
      cellEvent.threshold = threshold->get<int>();
    }
    return Stored(filing_.FileEvent(level, *session, *time, cellEvent));
  }

  bool Cycle(const std::string& topic, const std::string& level, std::string_view text) {
    std::string why;
    const std::optional<sites::ParsedCycle> cycle = sites::ParseCycleMessage(text, why);
    if (!cycle) return Malformed(topic, why);
    const Filed filed = filing_.FileCycle(level, *cycle);
    if (filed == Filed::failed) return false;
    if (filed == Filed::repeat) {
      ++counts_.repeats;
    } else {
      ++counts_.cycles;
    }
    if (!cycle->session.empty()) received_[{level, cycle->session}].Add(cycle->cycle.n);
    return true;
  }

  CycleFiling& filing_;
  const std::string prefix_;
  CollectCounts counts_;
  std::map<std::pair<std::string, std::string>, NumberRanges> received_;  // by site and session
};

// The collector's own client id: the same on every start for the same folder on the same
// machine, so the broker keeps its session (and the cycles published meanwhile) while it is away.
// A collector of a group has a session of its own: its shared subscription never meets a plain one
// kept from its time alone, which would bring every message twice.
std::string ClientId(const std::filesystem::path& dir, const std::string& share) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::size_t hash =
      std::hash<std::string>{}(std::string(host) + "\n" + dir.string() + (share.empty() ? "" : "\n" + share));
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

  // Beyond the file size limit a write fails (EFBIG) instead of ending the collector.
  std::signal(SIGXFSZ, SIG_IGN);
  const auto say = [](const std::string& line) { std::cerr << line + "\n" << std::flush; };
  LogFiling filing(dir, say);
  Collector collector(filing, broker->prefix);
  mqtt::ClientOptions client;
  client.broker = *broker;
  client.clientId = ClientId(dir, options.share);
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
  // The link's state, said when it changes: connected, lost, unreachable since the start, back.
  // A link the collector drops itself (a log it cannot write) is no news.
  struct Link {
    std::mutex mutex;
    bool everConnected = false;
    bool connected = false;
    bool saidDown = false;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
  };
  auto link = std::make_shared<Link>();
  auto refusing = std::make_shared<std::atomic<bool>>(false);
  auto linkChanged = [address, link, refusing, say](bool connected) {
    std::lock_guard lock(link->mutex);
    link->connected = connected;
    link->since = std::chrono::steady_clock::now();
    if (connected) {
      if (!link->everConnected) {
        say("Подключено к брокеру MQTT " + address);
      } else if (link->saidDown) {
        say("Связь с брокером MQTT " + address + " восстановлена");
      }
      link->everConnected = true;
      link->saidDown = false;
    } else if (!refusing->load() && !link->saidDown) {
      say("Связь с брокером MQTT " + address + " прервана");
      link->saidDown = true;
    }
  };
  // Through a group, the broker hands each message to one collector of it.
  const std::string sites = (options.share.empty() ? "" : "$share/" + options.share + "/") + broker->prefix;
  mqtt::Subscriber subscriber(
      client, {sites + "/+/cycle", sites + "/+/status", sites + "/+/event"},
      [&collector, refusing](const std::string& topic, const std::uint8_t* payload, std::size_t size) {
        const bool stored = collector.Receive(topic, payload, size);
        refusing->store(!stored);
        return stored;
      },
      linkChanged);
  subscriber.Start();

  // A broker that cannot be reached is said once, after a few seconds without it.
  constexpr auto kUnreachableAfter = std::chrono::seconds(5);
  const timespec tick{1, 0};
  while (true) {
    const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
    if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) break;
    std::lock_guard lock(link->mutex);
    if (!link->connected && !link->saidDown && !refusing->load() &&
        std::chrono::steady_clock::now() - link->since >= kUnreachableAfter) {
      say("Нет связи с брокером MQTT " + address);
      link->saidDown = true;
    }
  }
  subscriber.Stop();
  collector.CompleteAll();
  for (const std::string& line : collector.MissingLines()) say(line);
  const CollectCounts& counts = collector.Counts();
  std::cerr << "Записано циклов: " << counts.cycles << ", повторов: " << counts.repeats
            << ", пропущено сообщений: " << counts.malformed << ", событий: " << counts.events
            << ", не получено циклов: " << counts.missing << ", сбоев записи: " << counts.failures << std::endl;
  return 0;
}

}  // namespace cli
