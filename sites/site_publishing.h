#pragma once
// A run published as a site: the consumer of a session that, when polling starts and a broker is
// named, makes the site's publisher (the topics carry the IMEI) and hands it every cycle, every
// event and every error of the run. The headless tool and the window publish through this one
// consumer. On the monitor thread, apart from the finishing at the end.

#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>
#include <vector>

#include "core/run_consumer.h"
#include "history/cell_events.h"
#include "sites/site_publisher.h"

namespace sites {

class SitePublishing final : public core::RunConsumer {
 public:
  // The broker to publish to for a run starting now, with its settings; nothing publishes nothing.
  struct Target {
    mqtt::BrokerUrl broker;
    MqttSettings settings;
  };
  // Nothing, with why set (Russian, UTF-8) when the settings name a broker that cannot be used
  // (a password file that cannot be read), or left empty when they name none.
  using TargetSource = std::function<std::optional<Target>(std::string& why)>;

  // finishAtEnd: at the end of each run the queued messages get up to 10 s to go out, on a thread
  // of their own (joined at the next run's end or with this object); otherwise the owner finishes
  // the publisher itself (TakePublisher) once the session has ended.
  SitePublishing(TargetSource target, bool finishAtEnd);
  ~SitePublishing() override;

  // Where the runs' publishers tell of their broker, and a target that could not be used; before
  // any run (stderr without it).
  void SetBrokerReport(BrokerReport report) { report_ = std::move(report); }

  void DialectTold(const core::DialectNote& note) override;
  void RunStarted(const core::RunStart& start) override;
  void CycleCompleted(const radio::Cycle& cycle) override;
  void ErrorShown(const std::string& text) override;
  void RunEnded(const core::RunEnd& end) override;
  // An event of the run (the run's events consumer tells it on the monitor thread).
  void Event(const history::CellEvent& event);

  // The running publisher's session id, "" when there is none; on the monitor thread.
  std::string Session() const { return publisher_ ? publisher_->Session() : std::string(); }
  // The run's publisher, after the session has ended; null when none was made.
  std::unique_ptr<SitePublisher> TakePublisher() { return std::move(publisher_); }

 private:
  void JoinFinishing();

  const TargetSource target_;
  const bool finishAtEnd_;
  BrokerReport report_;
  std::unique_ptr<SitePublisher> publisher_;
  // Events told before this run's publisher existed (the run's start, told ahead of this
  // consumer), published first once it does.
  std::vector<nlohmann::json> early_;
  std::vector<std::thread> finishing_;
  std::string dialect_;  // the run's dialect, for its status
};

// The identity a site announces, from the modem's answers (Windows-1251 in, UTF-8 out).
SiteIdentity SiteIdentityOf(const radio::Identity& identity);

}  // namespace sites
