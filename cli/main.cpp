// ostrin_gsmmon_cli: the monitor without a window, and the log file tools.

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <map>

#include "cli/collector.h"
#include "cli/headless_monitor.h"
#include "cli/log_commands.h"
#include "cli/usage_error.h"
#include "dialects/dialect.h"
#include "gps/gpsd_client.h"
#include "mqtt/broker_url.h"
#include "platform/standard_descriptors.h"

namespace {

// An empty text is no number: CLI11 would take it as the option's default.
std::string NotEmpty(const std::string& text) { return text.empty() ? "нужно значение" : std::string(); }

// A number of poll cycles: 0 (until stopped), or 1 or more.
std::string CycleCount(const std::string& text) {
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  return digits && text.size() <= 9 ? std::string() : "1 или больше (0: до остановки)";
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is opened: a log or the port must never take over a closed stdout or stderr.
  platform::GuardStandardDescriptors();
  // A reader that went away is a failed write to standard output, said as such, not the silent
  // end of the process (the monitor still resets the modem and completes its log).
  std::signal(SIGPIPE, SIG_IGN);

  CLI::App app{"Ostrin GSM monitor, headless: watch a GSM modem's cells, read measurement logs."};
  app.require_subcommand(1);

  cli::MonitorOptions monitor;
  CLI::App* monitorCommand = app.add_subcommand("monitor", "Connect to a modem and print its cells.");
  monitorCommand->add_option("--port", monitor.port, "COM1..COM255 or a device path")->required();
  monitorCommand->add_option("--speed", monitor.speed, "Baud rate")
      ->check(NotEmpty)
      ->check(CLI::IsMember({9600, 19200, 38400, 57600, 115200}))
      ->capture_default_str();
  monitorCommand->add_option("--cycles", monitor.cycles, "Stop after N complete poll cycles (0: until Ctrl+C)")
      ->check(CycleCount)
      ->capture_default_str();
  const std::map<std::string, cli::OutputFormat> formats = {
      {"text", cli::OutputFormat::text}, {"csv", cli::OutputFormat::csv}, {"jsonl", cli::OutputFormat::jsonl}};
  monitorCommand->add_option("--format", monitor.format, "text, csv or jsonl")
      ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case))
      ->default_str("text");
  monitorCommand->add_flag(
      "--raw-fields", monitor.rawFields,
      "jsonl: also print each value as the modem's report gave it (code, cell, text), for debugging");
  CLI::Option* logOption = monitorCommand->add_option("--log", monitor.logFile, "Record a measurement log file");
  const CLI::Validator gpsdAddress(
      [](std::string& text) { return gps::ParseGpsdAddress(text) ? std::string() : "Неверный адрес gpsd: " + text; },
      "");
  CLI::Option* gpsdOption = monitorCommand->add_option("--gpsd", monitor.gpsd, "gpsd to take positions from")
                                ->check(gpsdAddress)
                                ->capture_default_str()
                                ->type_name("HOST:PORT");
  monitorCommand->add_flag("--no-gps", monitor.noGps, "Record no positions")->excludes(gpsdOption);
  monitorCommand
      ->add_option("--level-threshold", monitor.levelThreshold,
                   "Serving level in dBm below which an event is reported (and when it rises again)")
      ->check(NotEmpty)
      ->check(CLI::Range(-120, -40))
      ->capture_default_str();
  const CLI::Validator brokerUrl(
      [](std::string& text) {
        return mqtt::ParseBrokerUrl(text) ? std::string()
                                          : "Неверный адрес брокера MQTT: " + mqtt::MaskedBrokerUrl(text);
      },
      "");
  CLI::Option* mqttOption =
      monitorCommand->add_option("--mqtt", monitor.mqtt.url, "Publish every cycle to an MQTT broker")
          ->check(brokerUrl)
          ->type_name("mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX]");
  monitorCommand->add_option("--mqtt-password-file", monitor.mqtt.passwordFile, "The broker password's file")
      ->needs(mqttOption);
  monitorCommand->add_option("--mqtt-ca", monitor.mqtt.caFile, "CA certificate of an mqtts:// broker")
      ->check(CLI::ExistingFile)
      ->needs(mqttOption);
  monitorCommand->add_option("--mqtt-queue", monitor.mqtt.queue, "Cycles kept while the broker is away")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1'000'000}))
      ->capture_default_str()
      ->needs(mqttOption);

  std::vector<std::string> dialectNames;
  for (const std::string_view name : dialects::DialectNames()) dialectNames.emplace_back(name);
  monitorCommand
      ->add_option("--dialect", monitor.dialect,
                   "The modem family's commands: " + CLI::detail::join(dialectNames, ", ") +
                       " (default: from the modem's identity)")
      ->check(CLI::IsMember(dialectNames));

  std::string reportFile;
  bool raw = false;
  CLI::App* reportCommand = app.add_subcommand("report", "Print the report of a log file.");
  reportCommand->add_option("file", reportFile, "Log file")->required();
  reportCommand->add_flag("--raw", raw, "The report's own bytes: Windows-1251 with CR LF");

  std::string dumpFile;
  CLI::App* dumpCommand = app.add_subcommand("dump", "List the records of a log file.");
  dumpCommand->add_option("file", dumpFile, "Log file")->required();

  std::string exportFile;
  std::string exportOut;
  std::string exportFormat;
  bool overwrite = false;
  gsmexport::CsvDialect csvDialect = gsmexport::CsvDialect::standard;
  CLI::App* exportCommand =
      app.add_subcommand("export", "Export the poll cycles of a log file to GeoPackage, GeoJSON, KML, GPX or CSV.");
  exportCommand->add_option("file", exportFile, "Log file")->required();
  exportCommand->add_option("-o,--output", exportOut, "Output file")->required();
  exportCommand->add_option("--format", exportFormat,
                            "gpkg, geojson, kml, gpx or csv (default: from the output's extension)");
  exportCommand->add_flag("--overwrite", overwrite, "Replace the output file if it exists");
  const std::map<std::string, gsmexport::CsvDialect> csvDialects = {{"standard", gsmexport::CsvDialect::standard},
                                                                    {"excel-ru", gsmexport::CsvDialect::excelRu}};
  exportCommand
      ->add_option("--csv-dialect", csvDialect,
                   "standard (comma, decimal point) or excel-ru (semicolon, decimal comma, UTF-8 with BOM)")
      ->transform(CLI::CheckedTransformer(csvDialects, CLI::ignore_case));

  cli::CollectOptions collect;
  CLI::App* collectCommand = app.add_subcommand(
      "collect", "Collect the cycles that sites publish to an MQTT broker into log files, a folder per IMEI.");
  collectCommand->add_option("--mqtt", collect.mqtt.url, "The broker")
      ->required()
      ->check(brokerUrl)
      ->type_name("mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX]");
  collectCommand->add_option("--dir", collect.dir, "Folder of the logs")->required();
  collectCommand->add_option("--mqtt-password-file", collect.mqtt.passwordFile, "The broker password's file");
  collectCommand->add_option("--mqtt-ca", collect.mqtt.caFile, "CA certificate of an mqtts:// broker")
      ->check(CLI::ExistingFile);
  collectCommand->add_option("--share", collect.share, "Divide the messages with the other collectors of this group")
      ->check(CLI::Validator(
          [](std::string& group) {
            return !group.empty() && mqtt::TopicLevel(group) == group ? std::string()
                                                                      : "Недопустимое имя группы: " + group;
          },
          ""))
      ->type_name("GROUP");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& asked) {  // --help
    return app.exit(asked);
  } catch (const CLI::ParseError& error) {
    std::cerr << cli::UsageErrorText(error) << "\nСправка: ostrin_gsmmon_cli --help" << std::endl;
    return cli::kUsageError;
  }
  monitor.logRequested = logOption->count() > 0;

  if (*monitorCommand) return cli::RunHeadlessMonitor(monitor);
  if (*reportCommand) return cli::PrintLogReport(reportFile, raw);
  if (*collectCommand) return cli::RunCollector(collect);
  if (*exportCommand) return cli::ExportLogFile(exportFile, exportOut, exportFormat, overwrite, csvDialect);
  return cli::DumpLogFile(dumpFile);
}
