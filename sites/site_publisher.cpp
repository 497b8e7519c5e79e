#include "sites/site_publisher.h"

#include <atomic>
#include <iostream>
#include <mutex>
#include <random>

#include "survey/survey_text.h"

namespace sites {
namespace {

// A run's own name: cycles of two runs of the same site never pass for each other's repeats.
std::string NewSession() {
  std::random_device device;
  std::uniform_int_distribution<std::uint64_t> any;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(any(device)));
  return text;
}

constexpr int kKeepAlive = 10;

}  // namespace

std::optional<mqtt::BrokerUrl> BrokerOf(const MqttSettings& settings, std::string& message) {
  auto broker = mqtt::ParseBrokerUrl(settings.url);
  if (!broker) {
    message = "Неверный адрес брокера MQTT: " + mqtt::MaskedBrokerUrl(settings.url);
    return std::nullopt;
  }
  if (!settings.passwordFile.empty()) {
    const auto password = mqtt::ReadPasswordFile(settings.passwordFile);
    if (!password) {
      message = "Невозможно прочитать файл пароля MQTT \"" + settings.passwordFile + "\"";
      return std::nullopt;
    }
    broker->password = *password;
  }
  return broker;
}

SitePublisher::SitePublisher(const mqtt::BrokerUrl& broker, const MqttSettings& settings, const SiteIdentity& identity,
                             BrokerReport report)
    : broker_(broker),
      identity_(identity),
      level_(mqtt::TopicLevel(identity.imei)),
      session_(NewSession()),
      address_(broker.host + ":" + std::to_string(broker.port)) {
  if (!report) {
    // The headless tool says when the link is lost and when it is back, not the first connection.
    report = [first = std::make_shared<std::atomic<bool>>(true)](BrokerEvent event, const std::string& text) {
      if (event == BrokerEvent::connecting) return;
      if (event == BrokerEvent::connected && first->exchange(false)) return;
      std::cerr << text + "\n" << std::flush;
    };
  }
  mqtt::ClientOptions options;
  options.broker = broker;
  // One per run: two runs of one IMEI (two modems that read none, a restart overlapping the old
  // run's last messages) never push each other off the broker.
  options.clientId = "ostrin_gsmmon-" + level_ + "-" + session_;
  options.caFile = settings.caFile;
  options.keepAliveSeconds = kKeepAlive;
  options.will = mqtt::Message{Topic("status"), Status("offline", "lost"), true};
  options.onConnect = {mqtt::Message{Topic("status"), Status("online"), true}};
  report(BrokerEvent::connecting, address_);
  // Told on the network thread.
  auto linkChanged = [address = address_, said = std::make_shared<bool>(false), report](bool connected) {
    if (!connected) {
      report(BrokerEvent::lost, "Связь с брокером MQTT " + address + " прервана");
      *said = true;
    } else {
      report(BrokerEvent::connected,
             *said ? "Связь с брокером MQTT " + address + " восстановлена" : "Подключено к брокеру MQTT " + address);
    }
  };
  // The same problem is told once until another comes.
  options.onProblem = [last = std::make_shared<std::pair<std::mutex, std::string>>(),
                       report](const std::string& problem) {
    // Told on the connecting thread and on the network thread.
    std::lock_guard lock(last->first);
    if (problem == last->second) return;
    last->second = problem;
    report(BrokerEvent::problem, "MQTT: " + problem);
  };
  publisher_ = std::make_unique<mqtt::Publisher>(std::move(options), settings.queue, std::move(linkChanged));
}

std::string SitePublisher::Topic(const char* kind) const { return broker_.prefix + "/" + level_ + "/" + kind; }

std::string SitePublisher::Status(const char* state, const char* reason) const {
  nlohmann::json status = {
      {"status", state},          {"imei", identity_.imei},         {"manufacturer", identity_.manufacturer},
      {"model", identity_.model}, {"firmware", identity_.firmware}, {"session", session_},
      {"keepalive", kKeepAlive}};
  if (!identity_.dialect.empty()) status["dialect"] = identity_.dialect;
  if (reason != nullptr) status["reason"] = reason;
  return status.dump();
}

void SitePublisher::Start() { publisher_->Start(); }

void SitePublisher::Cycle(nlohmann::ordered_json cycle) {
  cycle["session"] = session_;
  publisher_->Publish(Topic("cycle"), cycle.dump());
}

void SitePublisher::Event(nlohmann::json event) {
  event["session"] = session_;
  publisher_->Publish(Topic("event"), event.dump());
}

void SitePublisher::Finish(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& stopWaiting) {
  publisher_->Finish(deadline, {mqtt::Message{Topic("status"), Status("offline", "stopped"), true}}, stopWaiting);
  const mqtt::Publisher::Counts counts = publisher_->GetCounts();
  if (counts.dropped > 0) {
    std::cerr << "MQTT: очередь переполнена, отброшено старых сообщений: " << counts.dropped << std::endl;
  }
  if (counts.unsent > 0) {
    std::cerr << "MQTT: не отправлено сообщений (нет связи с брокером " << address_ << "): " << counts.unsent
              << std::endl;
  }
}

}  // namespace sites
