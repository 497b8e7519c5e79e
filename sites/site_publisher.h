#pragma once
// One monitored site on an MQTT broker: its cycles at QoS 1 under <prefix>/<IMEI>/cycle, its
// events under <prefix>/<IMEI>/event, and its retained status under <prefix>/<IMEI>/status:
// "online" with the modem's identity on every connection, "offline" ("stopped") when the run
// ends, and "offline" ("lost") as the last will, which the broker publishes when the site goes
// silent (or when the broker itself shuts down).

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "mqtt/mqtt_client.h"

namespace sites {

struct MqttSettings {
  std::string url;           // empty: no publishing
  std::string passwordFile;  // the password's file, beside or instead of the URL's
  std::string caFile;        // the CA certificate for mqtts://
  std::size_t queue = mqtt::Publisher::kDefaultCapacity;
};

// The broker of settings with the password file's password put in; nothing, with message set
// (Russian, UTF-8), when the URL is no broker address or the file cannot be read.
std::optional<mqtt::BrokerUrl> BrokerOf(const MqttSettings& settings, std::string& message);

// What a site's publisher tells of its broker, on its own threads: it is connecting (text: the
// broker's address), it is connected (again), the link is lost, or a problem keeps it away (a
// refused login, a CA file that cannot be read, a password file gone). Texts in Russian, UTF-8,
// whole lines as the headless tool prints them.
enum class BrokerEvent { connecting, connected, lost, problem };
using BrokerReport = std::function<void(BrokerEvent event, const std::string& text)>;

// The identity a site announces (UTF-8 texts, as the modem answered).
struct SiteIdentity {
  std::string imei, manufacturer, model, firmware;
  std::string dialect;  // the dialect the run speaks, "" when not known
};

class SitePublisher {
 public:
  // Without a report, what it tells goes to stderr.
  SitePublisher(const mqtt::BrokerUrl& broker, const MqttSettings& settings, const SiteIdentity& identity,
                BrokerReport report = {});

  // Starts connecting; returns at once.
  void Start();
  // The cycle object with the run's session added; queued, never waits.
  void Cycle(nlohmann::ordered_json cycle);
  void Event(nlohmann::json event);
  // At the end of the run: the queued messages get until deadline (or until stopWaiting), then the
  // status turns "offline". Says on stderr what was dropped or left unsent.
  void Finish(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& stopWaiting);

  const std::string& Session() const { return session_; }
  // What its queue took and the broker acknowledged so far, and what waits.
  mqtt::Publisher::Counts Counts() const { return publisher_->GetCounts(); }

 private:
  std::string Topic(const char* kind) const;
  // "online", or "offline" with why: "stopped" at the run's end, "lost" as the last will.
  std::string Status(const char* state, const char* reason = nullptr) const;

  mqtt::BrokerUrl broker_;
  SiteIdentity identity_;
  std::string level_;
  std::string session_;
  std::string address_;
  std::unique_ptr<mqtt::Publisher> publisher_;
};

}  // namespace sites
