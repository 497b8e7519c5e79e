// Sites and a collector on a real Mosquitto broker: the headless monitor against the simulated
// modem publishing with --mqtt, `ostrin_gsmmon_cli collect` writing logs, the broker on a
// loopback port of the test with its own configuration. The collected logs must give the same
// report as the monitors' own logs (apart from the run's date and times) and hold the same
// cycles, through an outage of the broker, with a full queue, under TLS and with logins.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sites/cycle_message.h"
#include "survey/cycle_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/test_dir.h"
#include "tests/support/text_lines.h"
#include "tests/support/wait_for.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::TestDir;
using testsupport::WaitFor;

namespace {

using testsupport::Lines;

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The report of a log without its first two lines (the run's date and times).
std::vector<std::string> ReportBody(const std::string& log) {
  ChildProcess report({GSMMON_CLI_PATH, "report", log});
  EXPECT_EQ(report.Wait(10s), 0) << report.Stderr();
  auto lines = Lines(report.Stdout());
  EXPECT_EQ(lines.size(), 41u) << log;
  if (lines.size() >= 2) lines.erase(lines.begin(), lines.begin() + 2);
  return lines;
}

// The times of the sealed cycles of a log, in order.
std::vector<std::string> CycleTimes(const std::string& log) {
  std::vector<std::string> times;
  survey::ReadLogCycles(log, [&](const survey::SurveyCycle& cycle) {
    times.push_back(cycle.time ? survey::FormatIsoTime(*cycle.time) : "none");
    return true;
  });
  return times;
}

// The listing of a log.
std::string Dump(const std::string& log) {
  ChildProcess dump({GSMMON_CLI_PATH, "dump", log});
  EXPECT_EQ(dump.Wait(10s), 0) << dump.Stderr();
  return dump.Stdout();
}

// The one log file the collector wrote for a site (its IMEI's folder), "" while there is none.
std::string CollectedLog(const std::filesystem::path& dir, const std::string& imei) {
  std::error_code error;
  std::vector<std::string> logs;
  for (const auto& entry : std::filesystem::directory_iterator(dir / imei, error)) {
    if (entry.path().extension() == ".log") logs.push_back(entry.path().string());
  }
  return logs.size() == 1 ? logs[0] : std::string();
}

// The IMEI a monitor printed (its raw JSON line of code 1).
std::string ImeiOf(const ChildProcess& monitor) {
  for (const auto& line : Lines(monitor.Stdout())) {
    const auto object = nlohmann::json::parse(line, nullptr, false);
    if (object.is_object() && object.value("code", 0) == 1) return object.value("text", "");
  }
  return {};
}

class Collector {
 public:
  Collector(const testsupport::MosquittoProcess& broker, const std::filesystem::path& dir,
            std::vector<std::string> extra = {}, bool waitConnected = true)
      : dir_(dir / "collected") {
    std::filesystem::create_directories(dir);
    std::vector<std::string> args = {GSMMON_CLI_PATH, "collect",    "--mqtt", broker.Url("sites", extra.empty()),
                                     "--dir",         dir_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    process_.emplace(args, dir, "collector");
    if (waitConnected) {
      connected_ = WaitFor([&] { return process_->Stderr().find("Подключено") != std::string::npos; }, 10s);
    }
  }
  std::string Said() const { return process_->Stderr(); }
  pid_t Pid() const { return process_->Pid(); }
  // SIGKILL: nothing is completed.
  void Kill() {
    process_->Signal(SIGKILL);
    process_->Wait(15s);
  }
  bool Connected() const { return connected_; }
  const std::filesystem::path& Dir() const { return dir_; }
  // SIGTERM: the collector completes its logs and says what it did.
  std::string Stop() {
    process_->Signal(SIGTERM);
    EXPECT_EQ(process_->Wait(15s), 0) << process_->Stderr();
    return process_->Stderr();
  }

 private:
  std::filesystem::path dir_;
  std::optional<ChildProcess> process_;
  bool connected_ = false;
};

std::vector<std::string> MonitorArgs(const std::string& device, const std::string& url, int cycles,
                                     const std::string& log) {
  return {
      GSMMON_CLI_PATH, "monitor",  "--port", device,         "--speed", "115200", "--cycles", std::to_string(cycles),
      "--no-gps",      "--format", "jsonl",  "--raw-fields", "--log",   log,      "--mqtt",   url};
}

// Waits until the collected log of a site holds n sealed cycles.
std::string WaitForCollected(const std::filesystem::path& dir, const std::string& imei, std::size_t n) {
  std::string log;
  WaitFor(
      [&] {
        log = CollectedLog(dir, imei);
        return !log.empty() && CycleTimes(log).size() >= n;
      },
      20s);
  return log;
}

TEST(MqttBroker, TwoSitesCollectedAsTheirOwnLogs) {
  const TestDir dir("mqtt", "two");
  testsupport::MosquittoProcess broker(dir / "broker", {.user = "site", .password = "pass word"});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  const std::string passwordFile = (dir / "password").string();
  std::ofstream(passwordFile) << "pass word\n";
  Collector collector(broker, dir, {"--mqtt-password-file", passwordFile});
  ASSERT_TRUE(collector.Connected()) << broker.Log();

  testsupport::ModemSimProcess simA({"--seed", "11"});
  testsupport::ModemSimProcess simB({"--seed", "12", "--neighbours", "3"});
  ASSERT_TRUE(simA.Started() && simB.Started());
  const std::string ownA = (dir / "a.log").string();
  const std::string ownB = (dir / "b.log").string();
  // The sites' events and cycles, as anyone subscribed sees them.
  const auto subscribe = [&](const char* topic) {
    std::vector<std::string> args = {MOSQUITTO_SUB_PATH, "-t", topic, "-v", "-W", "90"};
    const auto more = broker.ClientArgs();
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  ChildProcess events(subscribe("sites/+/event"));
  ChildProcess cycles(subscribe("sites/+/cycle"));
  // One with the password in its URL, one from a file.
  ChildProcess monitorA(MonitorArgs(simA.DevicePath(), broker.Url("sites"), 5, ownA), dir, "monitor-a");
  auto argsB = MonitorArgs(simB.DevicePath(), broker.Url("sites", false), 5, ownB);
  argsB.insert(argsB.end(), {"--mqtt-password-file", passwordFile});
  ChildProcess monitorB(argsB, dir, "monitor-b");
  ASSERT_EQ(monitorA.Wait(60s), 0) << monitorA.Stderr();
  ASSERT_EQ(monitorB.Wait(60s), 0) << monitorB.Stderr();

  for (const auto& [monitor, own] : {std::pair{&monitorA, ownA}, std::pair{&monitorB, ownB}}) {
    const std::string imei = ImeiOf(*monitor);
    ASSERT_FALSE(imei.empty());
    const std::string collected = WaitForCollected(collector.Dir(), imei, 5);
    ASSERT_FALSE(collected.empty()) << imei;
    EXPECT_EQ(CycleTimes(collected), CycleTimes(own));
    // The site's "offline" completes its log: the summary is there before the collector stops.
    ASSERT_TRUE(WaitFor([&] { return ReportBody(collected) == ReportBody(own); }, 10s));
    // The run's events too, the connection's start and end among them.
    EXPECT_EQ(CountOf(Dump(collected), "cycle.event"), CountOf(Dump(own), "cycle.event"));
    EXPECT_EQ(CountOf(Dump(collected), "connection_ended"), 1);
  }
  // Each run's start and end went out under its event topic.
  EXPECT_TRUE(WaitFor([&] { return CountOf(events.Stdout(), "\"event\":\"connection_ended\"") == 2; }, 10s))
      << events.Stdout();
  EXPECT_EQ(CountOf(events.Stdout(), "\"event\":\"connection_started\""), 2) << events.Stdout();
  EXPECT_NE(events.Stdout().find("sites/" + ImeiOf(monitorA) + "/event "), std::string::npos) << events.Stdout();
  // Each cycle message is the cycle's JSON line, session and all.
  for (const ChildProcess* monitor : {&monitorA, &monitorB}) {
    const std::string topic = "sites/" + ImeiOf(*monitor) + "/cycle ";
    std::vector<nlohmann::json> printed, published;
    for (const auto& line : Lines(monitor->Stdout())) {
      const auto object = nlohmann::json::parse(line);
      if (object.value("event", "") == "cycle") printed.push_back(object);
    }
    for (const auto& line : Lines(cycles.Stdout())) {
      if (line.rfind(topic, 0) == 0) published.push_back(nlohmann::json::parse(line.substr(topic.size())));
    }
    EXPECT_EQ(printed.size(), 5u);
    EXPECT_EQ(published, printed);
    for (const auto& cycle : published) EXPECT_TRUE(cycle["serving"]["rxlevel_dbm"].is_number_integer()) << cycle;
  }
  const std::string said = collector.Stop();
  EXPECT_NE(said.find("Записано циклов: 10, повторов: 0, пропущено сообщений: 0, событий: 4,"), std::string::npos)
      << said;

  // Each site's retained status is "offline" now, with its identity.
  ChildProcess sub([&] {
    std::vector<std::string> args = {MOSQUITTO_SUB_PATH, "-t", "sites/+/status", "--retained-only", "-v", "-W", "3"};
    const auto more = broker.ClientArgs();
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }());
  sub.Wait(10s);
  EXPECT_EQ(CountOf(sub.Stdout(), "\"status\":\"offline\""), 2) << sub.Stdout();
  EXPECT_NE(sub.Stdout().find("\"imei\":\"" + ImeiOf(monitorA) + "\""), std::string::npos);
}

TEST(MqttBroker, TlsWithTheTestsOwnAuthority) {
  const TestDir dir("mqtt", "tls");
  testsupport::MosquittoProcess broker(dir / "broker", {.tls = true, .user = "site", .password = "s3cret"});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  // Without the test's CA the broker's certificate does not verify against the system's.
  Collector unchecked(broker, dir / "unchecked", {}, false);
  Collector checked(broker, dir / "checked", {"--mqtt-ca", broker.CaFile(), "--mqtt-password-file", [&] {
                                                const std::string path = (dir / "password").string();
                                                std::ofstream(path) << "s3cret\n";
                                                return path;
                                              }()});
  ASSERT_TRUE(checked.Connected()) << broker.Log();

  testsupport::ModemSimProcess sim({"--seed", "21"});
  ASSERT_TRUE(sim.Started());
  const std::string own = (dir / "own.log").string();
  auto args = MonitorArgs(sim.DevicePath(), broker.Url("sites"), 3, own);
  args.insert(args.end(), {"--mqtt-ca", broker.CaFile()});
  ChildProcess monitor(args, dir, "monitor");
  ASSERT_EQ(monitor.Wait(60s), 0) << monitor.Stderr();
  EXPECT_EQ(monitor.Stderr().find("MQTT"), std::string::npos) << monitor.Stderr();

  const std::string collected = WaitForCollected(checked.Dir(), ImeiOf(monitor), 3);
  ASSERT_FALSE(collected.empty());
  EXPECT_EQ(CycleTimes(collected), CycleTimes(own));
  ASSERT_TRUE(WaitFor([&] { return ReportBody(collected) == ReportBody(own); }, 10s));
  checked.Stop();
  EXPECT_TRUE(CollectedLog(unchecked.Dir(), ImeiOf(monitor)).empty());
  EXPECT_EQ(unchecked.Said().find("Подключено"), std::string::npos) << unchecked.Said();
  EXPECT_NE(unchecked.Said().find("MQTT: "), std::string::npos) << unchecked.Said();
  unchecked.Stop();
}

TEST(MqttBroker, OutageLosesNoCycleWithinTheQueue) {
  const TestDir dir("mqtt", "outage");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  Collector collector(broker, dir);
  ASSERT_TRUE(collector.Connected());

  testsupport::ModemSimProcess sim({"--seed", "31"});
  ASSERT_TRUE(sim.Started());
  const std::string own = (dir / "own.log").string();
  ChildProcess monitor(MonitorArgs(sim.DevicePath(), broker.Url("sites"), 16, own), dir, "monitor");
  ASSERT_TRUE(WaitFor([&] { return CountOf(monitor.Stdout(), "\"event\":\"cycle\"") >= 3; }, 30s));
  // A short outage of the broker in the middle of the run; the poll goes on meanwhile.
  broker.Stop();
  const int before = CountOf(monitor.Stdout(), "\"event\":\"cycle\"");
  std::this_thread::sleep_for(5s);
  EXPECT_GT(CountOf(monitor.Stdout(), "\"event\":\"cycle\""), before);
  ASSERT_TRUE(broker.Start()) << broker.Log();
  ASSERT_EQ(monitor.Wait(60s), 0) << monitor.Stderr();
  EXPECT_EQ(monitor.Stderr().find("не отправлено"), std::string::npos) << monitor.Stderr();

  const std::string collected = WaitForCollected(collector.Dir(), ImeiOf(monitor), 16);
  ASSERT_FALSE(collected.empty());
  EXPECT_EQ(CycleTimes(collected), CycleTimes(own));
  ASSERT_TRUE(WaitFor([&] { return ReportBody(collected) == ReportBody(own); }, 10s));
  const std::string said = collector.Stop();
  EXPECT_NE(said.find("Записано циклов: 16,"), std::string::npos) << said;
}

TEST(MqttBroker, FullQueueDropsTheOldestAndCountsThem) {
  const TestDir dir("mqtt", "full");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  Collector collector(broker, dir);
  ASSERT_TRUE(collector.Connected());
  broker.Stop();  // the collector's session waits in the broker's persistence

  testsupport::ModemSimProcess sim({"--seed", "41"});
  ASSERT_TRUE(sim.Started());
  const std::string own = (dir / "own.log").string();
  auto args = MonitorArgs(sim.DevicePath(), broker.Url("sites"), 8, own);
  // No level events: the run's only events are its start, queued before the first cycle, and its
  // end, queued after the last one, maybe before the broker is back.
  args.insert(args.end(), {"--mqtt-queue", "3", "--level-threshold", "-120"});
  ChildProcess monitor(args, dir, "monitor");
  ASSERT_TRUE(WaitFor([&] { return CountOf(monitor.Stdout(), "\"event\":\"cycle\"") >= 8; }, 30s));
  ASSERT_TRUE(broker.Start()) << broker.Log();
  ASSERT_EQ(monitor.Wait(30s), 0) << monitor.Stderr();
  const std::string said = "отброшено старых сообщений: ";
  const std::size_t saidAt = monitor.Stderr().find(said);
  ASSERT_NE(saidAt, std::string::npos) << monitor.Stderr();
  const int dropped = std::atoi(monitor.Stderr().c_str() + saidAt + said.size());
  // The start and cycles 1 to 5 at least; cycle 6 too when the end came while the broker was away.
  ASSERT_TRUE(dropped == 6 || dropped == 7) << monitor.Stderr();

  // The newest cycles arrive, in order, none of the dropped ones.
  const std::size_t kept = static_cast<std::size_t>(9 - dropped);
  const std::string collected = WaitForCollected(collector.Dir(), ImeiOf(monitor), kept);
  ASSERT_FALSE(collected.empty());
  const auto ownTimes = CycleTimes(own);
  ASSERT_EQ(ownTimes.size(), 8u);
  EXPECT_EQ(CycleTimes(collected), std::vector<std::string>(ownTimes.end() - static_cast<long>(kept), ownTimes.end()));
  collector.Stop();
}

TEST(MqttBroker, GarbageIsCountedAndNeverReachesALog) {
  const TestDir dir("mqtt", "garbage");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  Collector collector(broker, dir);
  ASSERT_TRUE(collector.Connected());

  const std::string big = (dir / "big").string();
  std::ofstream(big) << std::string(300'000, '{');
  const std::string good =
      R"({"event":"cycle","n":1,"session":"s","time":"2026-12-09T22:48:15.123+03:00","position":null,)"
      R"("serving":{"rxlevel_dbm":"-75","country":"Россия"},"neighbours":[]})";
  const std::vector<std::pair<std::string, std::vector<std::string>>> messages = {
      {"sites/111/cycle", {"-m", "garbage"}},
      {"sites/111/cycle", {"-f", big}},
      {"sites/111/cycle", {"-m", R"({"event":"cycle","n":1})"}},
      {"sites/111/status", {"-m", "online"}},
      {"sites/111/event", {"-m", "\x01\x02"}},
      {"sites/1.1/cycle", {"-m", good}},   // a level a site may publish under
      {"sites/a b/cycle", {"-m", good}},   // one no site publishes under
      {"sites/сайт/cycle", {"-m", good}},  // shown in its own letters
      {"sites/222/cycle", {"-m", good}},
      {"sites/222/cycle", {"-m", good}},  // a repeat
      {"sites/333/cycle", {"-m", good}},  // the last: once it is in, all before it were handled
  };
  for (const auto& [topic, payload] : messages) {
    std::vector<std::string> args = {MOSQUITTO_PUB_PATH, "-q", "1", "-t", topic};
    const auto more = broker.ClientArgs();
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), payload.begin(), payload.end());
    ChildProcess pub(args);
    ASSERT_EQ(pub.Wait(10s), 0) << topic << pub.Stderr();
  }
  ASSERT_FALSE(WaitForCollected(collector.Dir(), "333", 1).empty());
  const std::string said = collector.Stop();
  EXPECT_NE(said.find("Записано циклов: 3, повторов: 1, пропущено сообщений: 7"), std::string::npos) << said;
  EXPECT_NE(said.find("Пропущено сообщение sites/сайт/cycle: "), std::string::npos) << said;
  EXPECT_TRUE(CollectedLog(collector.Dir(), "111").empty());
  EXPECT_FALSE(std::filesystem::exists(collector.Dir() / "a b"));
}

// Sites not yet upgraded send the first schema, texts as the window shows them; their cycles go
// into the same log as the same cycles sent in the second schema, numbers.
TEST(MqttBroker, BothSchemasFileTheSameLog) {
  const TestDir dir("mqtt", "schemas");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  Collector collector(broker, dir);
  ASSERT_TRUE(collector.Connected());

  const auto publish = [&](const std::string& topic, const std::string& message) {
    std::vector<std::string> args = {MOSQUITTO_PUB_PATH, "-q", "1", "-t", topic};
    const auto more = broker.ClientArgs();
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {"-m", message});
    ChildProcess pub(args);
    EXPECT_EQ(pub.Wait(10s), 0) << topic << pub.Stderr();
  };
  for (int n = 1; n <= 3; ++n) {
    const std::string first =
        R"({"event":"cycle","n":)" + std::to_string(n) + R"(,"session":"3622eb211adbba54","time":"2026-12-10T16:07:0)" +
        std::to_string(n) +
        R"(.305+03:00","position":{"lat":55.755826,"lon":37.6173,"alt":156.3,"mode":3,"h_error":17.1,)"
        R"("fix_time":"2026-12-10T13:07:07.000Z"},"serving":{"country":"Россия","operator":"Билайн","lac":"7145",)"
        R"("cell_id":"89295","bsic":"4.4","channel":"989","band":"EGSM","rxlevel_dbm":"-8)" +
        std::to_string(n) + R"(","rxqual":")" + std::to_string(n) + R"(","ber_percent":")" +
        (n == 1   ? "0,28"
         : n == 2 ? "0,57"
                  : "1,13") +
        R"(","distance_km":")" + (n == 3 ? "0" : "3,3") +
        R"(","phone_state":"Соединено"},"neighbours":[{"channel":"732","band":"1800","bsic":"0.6","cell_id":"55891",)"
        R"("rxlevel_dbm":"-70"},{"channel":null},{},{},{},{}]})";
    std::string why;
    const auto parsed = sites::ParseCycleMessage(first, why);
    ASSERT_TRUE(parsed) << why;
    auto second = sites::CycleObject(parsed->cycle, parsed->session);
    second["time"] = parsed->time;  // in the zone the site wrote it
    publish("sites/444/cycle", first);
    publish("sites/555/cycle", second.dump());
  }
  const std::string first = WaitForCollected(collector.Dir(), "444", 3);
  const std::string second = WaitForCollected(collector.Dir(), "555", 3);
  collector.Stop();
  ASSERT_FALSE(first.empty() || second.empty());
  const auto bytes = [](const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(bytes(first), bytes(second));
  EXPECT_EQ(ReportBody(first), ReportBody(second));
}

// A cycle message of the first schema, as sites not yet upgraded send it.
std::string CycleMessage(const std::string& session, int n, const std::string& time) {
  return R"({"event":"cycle","n":)" + std::to_string(n) + R"(,"session":")" + session + R"(","time":")" + time +
         R"(","position":null,"serving":{"rxlevel_dbm":"-7)" + std::to_string(n % 10) +
         R"(","country":"Россия"},"neighbours":[]})";
}

// Publishes messages through one mosquitto_pub per message, with the broker's login unless
// login is given.
void Publish(const testsupport::MosquittoProcess& broker,
             const std::vector<std::pair<std::string, std::string>>& messages, std::vector<std::string> login = {}) {
  for (const auto& [topic, message] : messages) {
    std::vector<std::string> args = {MOSQUITTO_PUB_PATH, "-q", "1", "-t", topic, "-m", message};
    const auto more = broker.ClientArgs();
    args.insert(args.end(), more.begin(), more.end());
    if (!login.empty()) args.insert(args.end(), login.begin(), login.end());  // the later -u, -P count
    ChildProcess pub(args);
    EXPECT_EQ(pub.Wait(10s), 0) << topic << pub.Stderr();
  }
}

std::vector<std::string> LogsOf(const std::filesystem::path& folder) {
  std::vector<std::string> logs;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".log") logs.push_back(entry.path().string());
  }
  std::sort(logs.begin(), logs.end());
  return logs;
}

// Two runs of one site whose cycles come interleaved each keep a log of their own, with their
// events, and the summary's date and times are their cycles' own; cycle numbers that never came
// are said. After the collector is killed, the cycles it had written and that the broker brings
// again are found in its logs and not written twice.
TEST(MqttBroker, RunsOfOneSiteKeepTheirLogsThroughARestart) {
  const TestDir dir("mqtt", "runs");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  const std::string a = "aaaaaaaaaaaaaaaa", b = "bbbbbbbbbbbbbbbb";
  const auto time = [](int second) { return "2026-12-08T14:26:4" + std::to_string(second) + ".000+03:00"; };
  {
    Collector collector(broker, dir);
    ASSERT_TRUE(collector.Connected());
    Publish(broker, {{"sites/777/event",
                      R"({"event":"connection_started","time":")" + time(0) + R"(","session":")" + a + R"("})"},
                     {"sites/777/cycle", CycleMessage(a, 1, time(1))},
                     {"sites/777/cycle", CycleMessage(b, 1, time(1))},
                     {"sites/777/cycle", CycleMessage(a, 2, time(2))},
                     {"sites/777/cycle", CycleMessage(b, 2, time(2))},
                     {"sites/777/cycle", CycleMessage(a, 3, time(3))},
                     {"sites/777/cycle", CycleMessage(b, 5, time(5))}});
    ASSERT_TRUE(WaitFor(
        [&] {
          const auto written = LogsOf(collector.Dir() / "777");
          return written.size() == 2 && CycleTimes(written[0]).size() == 3 && CycleTimes(written[1]).size() == 3;
        },
        20s));
    const std::string said = collector.Stop();
    EXPECT_NE(said.find("Записано циклов: 6, повторов: 0, пропущено сообщений: 0, событий: 1, не получено циклов: 2"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find(": 3-4"), std::string::npos) << said;
  }
  const auto logs = LogsOf(dir / "collected" / "777");
  ASSERT_EQ(logs.size(), 2u);
  std::string logA;
  for (const auto& log : logs) {
    const std::string dump = Dump(log);
    if (dump.find(a) != std::string::npos) logA = log;
  }
  ASSERT_FALSE(logA.empty());
  EXPECT_EQ(CycleTimes(logA).size(), 3u);
  EXPECT_EQ(CountOf(Dump(logA), "connection_started"), 1);
  ChildProcess report({GSMMON_CLI_PATH, "report", logA});
  ASSERT_EQ(report.Wait(10s), 0);
  const auto lines = Lines(report.Stdout());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(report.Stdout().find("08.12.2026"), std::string::npos) << report.Stdout();
  EXPECT_NE(report.Stdout().find("14:26:41 - 14:26:43"), std::string::npos) << report.Stdout();

  // Killed after writing a's fourth cycle; the broker brings the cycles again on its return.
  {
    Collector collector(broker, dir);
    ASSERT_TRUE(collector.Connected());
    Publish(broker, {{"sites/777/cycle", CycleMessage(a, 4, time(4))}});
    ASSERT_TRUE(WaitFor(
        [&] {
          const auto written = LogsOf(collector.Dir() / "777");
          return written.size() == 3 && CycleTimes(written[1]).size() == 1;
        },
        20s));
    collector.Kill();
  }
  Collector collector(broker, dir);
  ASSERT_TRUE(collector.Connected());
  Publish(broker, {{"sites/777/cycle", CycleMessage(a, 3, time(3))},
                   {"sites/777/cycle", CycleMessage(a, 4, time(4))},
                   {"sites/777/cycle", CycleMessage(a, 5, time(5))}});
  const auto cyclesInLogs = [&] {
    std::size_t cycles = 0;
    for (const auto& log : LogsOf(dir / "collected" / "777")) cycles += CycleTimes(log).size();
    return cycles;
  };
  ASSERT_TRUE(WaitFor([&] { return cyclesInLogs() == 8; }, 20s)) << cyclesInLogs();
  // The fourth may come twice more (the killed collector's unacknowledged one): never written again.
  const std::string said = collector.Stop();
  EXPECT_NE(said.find("Записано циклов: 1, повторов: "), std::string::npos) << said;
  EXPECT_EQ(cyclesInLogs(), 8u);
}

// Logs that cannot be written: the file size limit of the collector reached (as a full disk), and
// a limit of open files below the number of sites. Nothing is acknowledged that is not in a log:
// once there is room again, every cycle is in its site's one log, exactly once, and the cause was
// said.
TEST(MqttBroker, CyclesWaitForRoomAndForDescriptors) {
  const TestDir dir("mqtt", "room");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  Collector collector(broker, dir);
  ASSERT_TRUE(collector.Connected());

  rlimit small{2000, RLIM_INFINITY};  // the soft limit only: it is raised again
  ASSERT_EQ(::prlimit(collector.Pid(), RLIMIT_FSIZE, &small, nullptr), 0);
  std::vector<std::pair<std::string, std::string>> messages;
  for (int n = 1; n <= 30; ++n)
    messages.emplace_back("sites/888/cycle", CycleMessage("cccccccccccccccc", n, "2026-12-08T14:26:40.000+03:00"));
  Publish(broker, messages);
  ASSERT_TRUE(WaitFor([&] { return collector.Said().find("EFBIG") != std::string::npos; }, 20s)) << collector.Said();
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  ASSERT_EQ(::prlimit(collector.Pid(), RLIMIT_FSIZE, &unlimited, nullptr), 0);
  ASSERT_TRUE(WaitFor(
      [&] {
        return !CollectedLog(collector.Dir(), "888").empty() &&
               CycleTimes(CollectedLog(collector.Dir(), "888")).size() == 30;
      },
      60s))
      << collector.Said();

  // Far fewer descriptors than sites.
  rlimit few{24, 4096};
  ASSERT_EQ(::prlimit(collector.Pid(), RLIMIT_NOFILE, &few, nullptr), 0);
  messages.clear();
  for (int site = 100; site < 160; ++site)
    messages.emplace_back("sites/" + std::to_string(site) + "/cycle",
                          CycleMessage("dddddddddddddddd", 1, "2026-12-08T14:26:40.000+03:00"));
  Publish(broker, messages);
  ASSERT_TRUE(WaitFor([&] { return !CollectedLog(collector.Dir(), "159").empty(); }, 60s)) << collector.Said();
  const std::string said = collector.Stop();
  EXPECT_NE(said.find("Записано циклов: 90, повторов: "), std::string::npos) << said;
  // Said with its cause, and not once per cycle that came again.
  EXPECT_LE(CountOf(said, "EFBIG"), 3) << said;
  EXPECT_EQ(said.find("сбоев записи: 0"), std::string::npos) << said;
  EXPECT_EQ(LogsOf(collector.Dir() / "888").size(), 1u);
  EXPECT_EQ(CycleTimes(CollectedLog(collector.Dir(), "888")).size(), 30u);
  for (int site = 100; site < 160; ++site) {
    EXPECT_EQ(CycleTimes(CollectedLog(collector.Dir(), std::to_string(site))).size(), 1u) << site;
  }
}

// The broker configuration of the README: each site logs in under its IMEI and may write only
// under its own topic, so a site cannot end or split another's logs.
TEST(MqttBroker, ASiteIsRefusedOnAnothersTopic) {
  const TestDir dir("mqtt", "acl");
  testsupport::MosquittoProcess broker(dir / "broker",
                                       {.user = "collector",
                                        .password = "c",
                                        .moreUsers = {{"111", "one"}, {"222", "two"}},
                                        .acl = "user collector\ntopic read sites/#\n\npattern write sites/%u/#\n"});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  Collector collector(broker, dir);
  ASSERT_TRUE(collector.Connected()) << broker.Log();
  Publish(broker, {{"sites/222/cycle", CycleMessage("eeeeeeeeeeeeeeee", 1, "2026-12-08T14:26:40.000+03:00")}},
          {"-u", "111", "-P", "one"});
  Publish(broker, {{"sites/222/status", R"({"status":"offline","reason":"stopped","session":"ffffffffffffffff"})"}},
          {"-u", "111", "-P", "one"});
  Publish(broker, {{"sites/111/cycle", CycleMessage("eeeeeeeeeeeeeeee", 1, "2026-12-08T14:26:40.000+03:00")}},
          {"-u", "111", "-P", "one"});
  Publish(broker, {{"sites/222/cycle", CycleMessage("ffffffffffffffff", 1, "2026-12-08T14:26:40.000+03:00")}},
          {"-u", "222", "-P", "two"});
  ASSERT_FALSE(WaitForCollected(collector.Dir(), "222", 1).empty()) << collector.Said();
  ASSERT_FALSE(WaitForCollected(collector.Dir(), "111", 1).empty()) << collector.Said();
  const std::string said = collector.Stop();
  EXPECT_NE(said.find("Записано циклов: 2, повторов: 0, пропущено сообщений: 0"), std::string::npos) << said;
  EXPECT_EQ(LogsOf(collector.Dir() / "222").size(), 1u);
  EXPECT_NE(Dump(CollectedLog(collector.Dir(), "222")).find("ffffffffffffffff"), std::string::npos);
}

// A peer on the broker's port that answers with bytes no broker sends: the collector says what
// libmosquitto makes of them, as whole lines, and nothing empty.
class NoBroker {
 public:
  NoBroker() : port_(testsupport::FreeLoopbackPort()) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<std::uint16_t>(port_));
    ::inet_pton(AF_INET, "127.0.0.1", &at.sin_addr);
    const int yes = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || ::listen(fd_, 8) != 0) return;
    thread_ = std::thread([this] {
      while (true) {
        const int peer = ::accept(fd_, nullptr, nullptr);
        if (peer < 0) return;
        const char zeros[4] = {};
        [[maybe_unused]] const auto sent = ::send(peer, zeros, sizeof zeros, MSG_NOSIGNAL);
        std::this_thread::sleep_for(200ms);
        ::close(peer);
      }
    });
  }
  ~NoBroker() {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    if (thread_.joinable()) thread_.join();
  }
  NoBroker(const NoBroker&) = delete;
  NoBroker& operator=(const NoBroker&) = delete;
  int Port() const { return port_; }

 private:
  int port_;
  int fd_ = -1;
  std::thread thread_;
};

// A broker that cannot be reached is said once, and its coming back; a peer that is no broker is
// said as it is, without empty lines.
TEST(MqttBroker, TheCollectorSaysWhereItsBrokerIs) {
  const TestDir dir("mqtt", "where");
  {
    const NoBroker peer;
    ChildProcess collector({GSMMON_CLI_PATH, "collect", "--mqtt", "mqtt://127.0.0.1:" + std::to_string(peer.Port()),
                            "--dir", (dir / "collected").string()},
                           dir, "collector-peer");
    ASSERT_TRUE(WaitFor([&] { return collector.Stderr().find("Unrecognised") != std::string::npos; }, 15s))
        << collector.Stderr();
    collector.Signal(SIGTERM);
    EXPECT_EQ(collector.Wait(15s), 0);
    EXPECT_EQ(collector.Stderr().find("\n\n"), std::string::npos) << collector.Stderr();
  }
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  broker.Stop();
  Collector collector(broker, dir, {}, false);
  const std::string unreachable = "Нет связи с брокером MQTT 127.0.0.1:" + std::to_string(broker.Port());
  ASSERT_TRUE(WaitFor([&] { return collector.Said().find(unreachable) != std::string::npos; }, 15s))
      << collector.Said();
  ASSERT_TRUE(broker.Start()) << broker.Log();
  ASSERT_TRUE(WaitFor([&] { return collector.Said().find("Подключено к брокеру") != std::string::npos; }, 15s))
      << collector.Said();
  const std::string said = collector.Stop();
  EXPECT_EQ(CountOf(said, unreachable), 1) << said;
}

TEST(MqttBroker, KilledSiteShowsOffline) {
  const TestDir dir("mqtt", "killed");
  testsupport::MosquittoProcess broker(dir / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  testsupport::ModemSimProcess sim({"--seed", "51"});
  ASSERT_TRUE(sim.Started());
  ChildProcess monitor(MonitorArgs(sim.DevicePath(), broker.Url("sites"), 0, (dir / "own.log").string()), dir,
                       "monitor");
  const auto status = [&] {
    std::vector<std::string> args = {MOSQUITTO_SUB_PATH, "-t", "sites/+/status", "--retained-only", "-W", "2"};
    const auto more = broker.ClientArgs();
    args.insert(args.end(), more.begin(), more.end());
    ChildProcess sub(args);
    sub.Wait(10s);
    return sub.Stdout();
  };
  ASSERT_TRUE(WaitFor([&] { return status().find("\"status\":\"online\"") != std::string::npos; }, 30s));
  monitor.Signal(SIGKILL);
  monitor.Wait(10s);
  // The broker publishes the last will once it notices (at once for a closed socket, within 1.5
  // keep-alive periods for a silent one).
  EXPECT_TRUE(WaitFor([&] { return status().find("\"status\":\"offline\"") != std::string::npos; }, 30s));
}

}  // namespace

namespace {

// A name server that never answers: a UDP socket on a loopback address that nobody reads.
class SilentNameServer {
 public:
  explicit SilentNameServer(const char* address) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    ::inet_pton(AF_INET, address, &at.sin_addr);
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~SilentNameServer() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentNameServer(const SilentNameServer&) = delete;
  SilentNameServer& operator=(const SilentNameServer&) = delete;
  bool Listening() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

// The broker's name is looked up by a resolver that waits 30 s for a name server that never
// answers. A second Ctrl+C ends the monitor at once all the same, with its status 130.
TEST(MqttBroker, ASecondCtrlCEndsTheMonitorDuringTheBrokersNameLookup) {
  if (::geteuid() != 0) GTEST_SKIP() << "a resolver of the test's own needs root (a mount namespace)";
  ChildProcess probe({"/usr/bin/unshare", "-m", "/bin/true"});
  if (probe.Wait(10s) != 0) GTEST_SKIP() << "no mount namespace here";
  const SilentNameServer server("127.0.0.77");
  if (!server.Listening()) GTEST_SKIP() << "port 53 of 127.0.0.77 is taken";
  TestDir dir("mqtt", "dns");
  const std::string resolver = (dir / "resolv.conf").string();
  std::ofstream(resolver) << "nameserver 127.0.0.77\noptions timeout:30 attempts:1\n";

  testsupport::ModemSimProcess sim({"--seed", "3"});
  ASSERT_TRUE(sim.Started());
  ChildProcess tool({"/usr/bin/unshare", "-m", "/bin/sh", "-c", "mount --bind \"$0\" /etc/resolv.conf && exec \"$@\"",
                     resolver, GSMMON_CLI_PATH, "monitor", "--port", sim.DevicePath(), "--no-gps", "--format", "jsonl",
                     "--mqtt", "mqtt://broker.slow.test/sites"});
  ASSERT_TRUE(WaitFor([&] { return tool.Stdout().find("\"cycle\"") != std::string::npos; }, 30s)) << tool.Stderr();
  tool.Signal(SIGINT);
  std::this_thread::sleep_for(1500ms);  // the modem's last cycle and "ATZ"; the lookup still waits
  tool.Signal(SIGINT);
  // Well before the resolver gives up.
  EXPECT_EQ(tool.WaitExit(20s), std::optional<int>(130)) << tool.Stderr();
}
