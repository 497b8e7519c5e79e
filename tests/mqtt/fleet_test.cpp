// A fleet on a real Mosquitto broker: the load generator's simulated sites, and collectors that
// divide their messages through a shared subscription. What the generator publishes must read back
// as the cycles it made, and every cycle must land in exactly one collector's logs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "log/log_reader.h"
#include "log/log_record.h"
#include "mqtt/mqtt_client.h"
#include "sites/cycle_message.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/test_dir.h"
#include "tests/support/wait_for.h"
#include "tools/fleet_load/simulated_site.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::TestDir;
using testsupport::WaitFor;

namespace {

// The numbers of the generator's last line: "Сайтов: 4, опубликовано циклов: 300, событий: 17,
// подтверждено брокером: 317, ...".
struct LoadTotals {
  long cycles = -1, events = -1, acknowledged = -1;
};

LoadTotals RunLoad(const TestDir& dir, const testsupport::MosquittoProcess& broker, std::vector<std::string> extra) {
  std::vector<std::string> args = {FLEET_LOAD_PATH, "--mqtt", broker.Url("fleet"), "--seed", "7"};
  args.insert(args.end(), extra.begin(), extra.end());
  ChildProcess load(args, dir.Path(), "load");
  EXPECT_EQ(load.Wait(60s), 0) << load.Stdout() << load.Stderr();
  LoadTotals totals;
  std::smatch match;
  const std::string out = load.Stdout();
  if (std::regex_search(out, match, std::regex("циклов: (\\d+), событий: (\\d+), подтверждено брокером: (\\d+)"))) {
    totals = {std::stol(match[1]), std::stol(match[2]), std::stol(match[3])};
  }
  return totals;
}

// A message of the test's own, "probe", at QoS 1.
void Publish(const TestDir& dir, const testsupport::MosquittoProcess& broker, const std::string& topic) {
  ChildProcess publish({MOSQUITTO_PUB_PATH, "-h", "127.0.0.1", "-p", std::to_string(broker.Port()), "-q", "1", "-t",
                        topic, "-m", "probe"},
                       dir.Path(), "probe");
  publish.Wait(5s);
}

class SharingCollector {
 public:
  SharingCollector(const testsupport::MosquittoProcess& broker, const std::filesystem::path& dir)
      : dir_(dir),
        process_(std::vector<std::string>{GSMMON_CLI_PATH, "collect", "--mqtt", broker.Url("fleet"), "--dir",
                                          dir.string(), "--share", "filers"},
                 dir.parent_path(), dir.filename().string()) {}
  bool Said(const std::string& text) const { return process_.Stderr().find(text) != std::string::npos; }
  std::string Stop() {
    process_.Signal(SIGTERM);
    EXPECT_EQ(process_.Wait(15s), 0) << process_.Stderr();
    return process_.Stderr();
  }
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  ChildProcess process_;
};

// Every cycle a collector filed: IMEI, session and the cycle's number in its run, from the
// records of its logs (a folder per IMEI).
using CycleKey = std::tuple<std::string, std::string, long>;

std::multiset<CycleKey> FiledCycles(const std::filesystem::path& dir) {
  std::multiset<CycleKey> cycles;
  std::error_code error;
  for (const auto& site : std::filesystem::directory_iterator(dir, error)) {
    for (const auto& log : std::filesystem::directory_iterator(site.path(), error)) {
      if (log.path().extension() != ".log") continue;
      std::string session;
      gsmlog::ReadLogRecords(log.path().string(), [&](const gsmlog::LogRecord& record) {
        if (record.code == gsmlog::kRunSessionCode) session = record.text;
        if (record.code == gsmlog::kRunCycleNumberCode) {
          cycles.insert({site.path().filename().string(), session, std::stol(record.text)});
        }
        return true;
      });
    }
  }
  return cycles;
}

TEST(Fleet, SharedCollectorsFileEveryCycleExactlyOnce) {
  const TestDir dir("fleet", "share");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  SharingCollector first(broker, dir / "first");
  SharingCollector second(broker, dir / "second");
  // Both subscribed once each has had a message of the test's own (no cycle: told and skipped).
  ASSERT_TRUE(WaitFor(
      [&] {
        Publish(dir, broker, "fleet/probe/cycle");
        return first.Said("Пропущено сообщение") && second.Said("Пропущено сообщение");
      },
      10s));

  constexpr int kSites = 4;
  constexpr long kCycles = 75;
  const LoadTotals load = RunLoad(dir, broker, {"--sites", "4", "--cycles", "75", "--flat-out"});
  ASSERT_EQ(load.cycles, kSites * kCycles);
  EXPECT_EQ(load.acknowledged, load.cycles + load.events);

  const auto filed = [&] { return FiledCycles(first.Dir()).size() + FiledCycles(second.Dir()).size(); };
  WaitFor([&] { return filed() >= kSites * kCycles; }, 30s);
  first.Stop();
  second.Stop();
  const std::multiset<CycleKey> one = FiledCycles(first.Dir());
  const std::multiset<CycleKey> other = FiledCycles(second.Dir());
  EXPECT_FALSE(one.empty());
  EXPECT_FALSE(other.empty());
  std::multiset<CycleKey> all = one;
  all.insert(other.begin(), other.end());

  // Each site's run, its cycles 1 to 75, each filed once, by one collector or the other.
  std::map<std::string, std::set<std::string>> sessions;
  for (const auto& [imei, session, n] : all) sessions[imei].insert(session);
  ASSERT_EQ(sessions.size(), static_cast<std::size_t>(kSites));
  for (int i = 0; i < kSites; ++i) {
    const std::string imei = fleetload::SimulatedSite(7, i).Identity().imei;
    ASSERT_EQ(sessions[imei].size(), 1u) << imei;
    const std::string& session = *sessions[imei].begin();
    for (long n = 1; n <= kCycles; ++n) EXPECT_EQ(all.count({imei, session, n}), 1u) << imei << " cycle " << n;
  }
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kSites * kCycles));
}

// What a subscriber of the test's own receives, in order.
class Received {
 public:
  explicit Received(const testsupport::MosquittoProcess& broker) {
    mqtt::ClientOptions options;
    options.broker.host = "127.0.0.1";
    options.broker.port = broker.Port();
    options.clientId = "fleet-test-" + std::to_string(::getpid());
    subscriber_.emplace(options, std::vector<std::string>{"fleet/#"},
                        [this](const std::string& topic, const std::uint8_t* payload, std::size_t size) {
                          std::lock_guard lock(mutex_);
                          messages_.emplace_back(topic, std::string(reinterpret_cast<const char*>(payload), size));
                          return true;
                        });
    subscriber_->Start();
  }
  ~Received() { subscriber_->Stop(); }
  std::vector<std::pair<std::string, std::string>> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::size_t Count(const std::string& kind) const {
    std::size_t count = 0;
    for (const auto& [topic, payload] : Messages())
      if (topic.ends_with("/" + kind)) ++count;
    return count;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> messages_;
  std::optional<mqtt::Subscriber> subscriber_;
};

TEST(Fleet, GeneratedMessagesReadBackAsTheCyclesMeant) {
  const TestDir dir("fleet", "messages");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  Received received(broker);
  // Subscribed once a message of the test's own comes back.
  ASSERT_TRUE(WaitFor(
      [&] {
        Publish(dir, broker, "fleet/probe");
        return received.Count("probe") > 0;
      },
      10s));

  // Four sites (the fourth on LTE) at the real rate.
  constexpr int kSites = 4;
  constexpr long kCycles = 8;
  const LoadTotals load = RunLoad(dir, broker, {"--sites", "4", "--cycles", "8"});
  ASSERT_EQ(load.cycles, kSites * kCycles);
  EXPECT_EQ(load.acknowledged, load.cycles + load.events);
  ASSERT_TRUE(WaitFor([&] { return received.Count("status") >= static_cast<std::size_t>(2 * kSites); }, 10s));

  std::map<std::string, std::vector<sites::ParsedCycle>> cycles;  // by IMEI, in arrival order
  std::map<std::string, std::vector<std::string>> events;
  std::map<std::string, std::vector<std::string>> statuses;
  for (const auto& [topic, payload] : received.Messages()) {
    const std::string imei = topic.substr(6, topic.find('/', 6) - 6);
    if (topic.ends_with("/cycle")) {
      std::string why;
      auto parsed = sites::ParseCycleMessage(payload, why);
      ASSERT_TRUE(parsed) << why << ": " << payload;
      EXPECT_EQ(parsed->schema, 2);
      cycles[imei].push_back(std::move(*parsed));
    } else if (topic.ends_with("/event") || topic.ends_with("/status")) {
      const auto object = nlohmann::json::parse(payload, nullptr, false);
      ASSERT_TRUE(object.is_object()) << payload;
      if (topic.ends_with("/event")) {
        events[imei].push_back(object.value("event", ""));
      } else {
        EXPECT_EQ(object.value("imei", ""), imei);
        statuses[imei].push_back(object.value("status", ""));
      }
    }
  }

  std::set<std::string> allSessions;
  for (int i = 0; i < kSites; ++i) {
    fleetload::SimulatedSite site(7, i);
    const std::string imei = site.Identity().imei;
    SCOPED_TRACE(imei);
    ASSERT_EQ(cycles[imei].size(), static_cast<std::size_t>(kCycles));
    EXPECT_EQ(statuses[imei], (std::vector<std::string>{"online", "offline"}));
    const std::string session = cycles[imei].front().session;
    EXPECT_TRUE(allSessions.insert(session).second) << "a session of two sites";
    // The same site made again gives the same cycles, given the times they were taken at; its
    // events are the ones those cycles brought, between its run's start and end.
    std::vector<std::string> meantEvents;
    for (const sites::ParsedCycle& parsed : cycles[imei]) {
      EXPECT_EQ(parsed.session, session);
      const fleetload::SiteStep meant = site.Next(parsed.cycle.time);
      EXPECT_EQ(sites::CycleObject(parsed.cycle, session).dump(), sites::CycleObject(meant.cycle, session).dump());
      for (const history::CellEvent& event : meant.events) meantEvents.emplace_back(history::EventKey(event.kind));
    }
    meantEvents.emplace_back("connection_ended");
    EXPECT_EQ(events[imei], meantEvents);
    EXPECT_EQ(cycles[imei].front().cycle.serving->tech(), i == 3 ? radio::Tech::lte : radio::Tech::gsm);
  }
}

// Over a long drive a site behaves like one: it moves, its level wanders within the technology's
// range, its serving cell changes now and then, and it keeps six neighbours in view.
TEST(Fleet, ASimulatedSiteDrivesAndChangesCells) {
  for (const int index : {0, 3}) {
    fleetload::SimulatedSite site(11, index);
    std::set<std::int64_t> servingCells;
    std::set<double> levels;
    std::optional<radio::Position> firstFix, lastFix;
    long fixes = 0, handovers = 0;
    auto time = std::chrono::system_clock::now();
    for (int n = 1; n <= 1500; ++n) {
      const fleetload::SiteStep step = site.Next(time += 400ms);
      ASSERT_EQ(step.cycle.n, n);
      ASSERT_TRUE(step.cycle.serving);
      EXPECT_EQ(step.cycle.neighbours.size(), 6u);
      servingCells.insert(*step.cycle.serving->cellId);
      levels.insert(*step.cycle.serving->LevelDbm());
      if (step.cycle.position) {
        ++fixes;
        if (!firstFix) firstFix = step.cycle.position;
        lastFix = step.cycle.position;
      }
      for (const auto& event : step.events) handovers += event.kind == history::EventKind::servingCell ? 1 : 0;
    }
    SCOPED_TRACE(index);
    EXPECT_GT(servingCells.size(), 2u);
    EXPECT_GE(handovers, static_cast<long>(servingCells.size()) - 1);
    EXPECT_GT(levels.size(), 10u);
    EXPECT_GT(fixes, 1300);
    EXPECT_LT(fixes, 1500);
    EXPECT_NE(firstFix->latitude, lastFix->latitude);
    EXPECT_NE(firstFix->longitude, lastFix->longitude);
  }
  // Sites of a fleet have IMEIs of their own.
  std::set<std::string> imeis;
  for (int i = 0; i < 500; ++i) imeis.insert(fleetload::SimulatedSite(11, i).Identity().imei);
  EXPECT_EQ(imeis.size(), 500u);
}

}  // namespace
