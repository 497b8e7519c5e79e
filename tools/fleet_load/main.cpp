// fleet_load: simulated sites publishing realistic cycles to an MQTT broker, for the collector's
// tests and benchmarks. Ends with a line of what was published and what the broker acknowledged.

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "tools/fleet_load/fleet_run.h"

namespace {

std::atomic<int> stops{0};

extern "C" void OnStop(int) { stops.fetch_add(1); }

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated sites publishing poll cycles to an MQTT broker."};
  fleetload::FleetOptions options;
  long long seed = 1;
  double durationSeconds = 0;
  int finishWait = 60;
  app.add_option("--mqtt", options.mqtt.url, "The broker: mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX]")
      ->required();
  app.add_option("--mqtt-password-file", options.mqtt.passwordFile, "The broker password's file");
  app.add_option("--mqtt-ca", options.mqtt.caFile, "CA certificate of an mqtts:// broker")->check(CLI::ExistingFile);
  app.add_option("--sites", options.sites,
                 "Simulated sites (default 10; scripts/fleet-load runs more processes for more)")
      ->check(CLI::Range(1, fleetload::kMostSitesPerProcess));
  app.add_option("--first-site", options.firstSite, "Index of the first site, for the next process of a fleet")
      ->check(CLI::Range(0, 999'999));
  app.add_option("--cycles", options.cycles, "Cycles per site")->check(CLI::Range(1L, 100'000'000L));
  app.add_option("--duration", durationSeconds, "Seconds to publish for")->check(CLI::Range(0.001, 1e7));
  app.add_flag("--flat-out", options.flatOut, "As fast as the broker takes them, not a cycle per 0.4 s");
  app.add_option("--seed", seed, "Seed of the sites (their IMEIs, routes and cells; default 1)")
      ->check(CLI::Range(0LL, 1LL << 53));
  app.add_flag("--user-per-site", options.userPerSite, "Each site logs in with its IMEI and the URL's password");
  app.add_option("--finish-wait", finishWait, "Seconds to wait at the end for what is still queued (default 60)")
      ->check(CLI::Range(0, 86400));
  CLI11_PARSE(app, argc, argv);
  options.seed = static_cast<std::uint64_t>(seed);
  options.duration = std::chrono::milliseconds(static_cast<long>(durationSeconds * 1000));
  options.finishWait = std::chrono::seconds(finishWait);

  std::string message;
  const auto broker = sites::BrokerOf(options.mqtt, message);
  if (!broker) {
    std::cerr << message << std::endl;
    return 1;
  }
  options.broker = *broker;
  std::signal(SIGINT, OnStop);
  std::signal(SIGTERM, OnStop);

  const fleetload::FleetTotals totals = fleetload::RunFleet(options, stops);
  std::printf(
      "Сайтов: %d, опубликовано циклов: %llu, событий: %llu, подтверждено брокером: %llu, отброшено: %llu, "
      "не отправлено: %llu, за %.2f с\n",
      options.sites, static_cast<unsigned long long>(totals.cycles), static_cast<unsigned long long>(totals.events),
      static_cast<unsigned long long>(totals.acknowledged), static_cast<unsigned long long>(totals.dropped),
      static_cast<unsigned long long>(totals.unsent), totals.seconds);
  return totals.acknowledged == totals.cycles + totals.events ? 0 : 2;
}
