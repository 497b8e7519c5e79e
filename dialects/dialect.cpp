#include "dialects/dialect.h"

#include <array>

#include "dialects/quectel_reader.h"
#include "dialects/response_text.h"
#include "dialects/sierra_reader.h"
#include "dialects/simcom_reader.h"
#include "dialects/telit_reader.h"
#include "dialects/ublox_reader.h"

namespace dialects {
namespace {

void Baseline(std::string_view response, CycleFacts& facts) { ReadBaselineAnswer(response, facts.baseline); }

template <CellReport (*Read)(std::string_view)>
void Report(std::string_view response, CycleFacts& facts) {
  facts.reports.push_back(Read(response));
}

// The registration and operator in numeric form with the access technology.
constexpr std::array<std::string_view, 4> kBaselineSetup = {"AT+CREG=2", "AT+CGREG=2", "AT+CEREG=2", "AT+COPS=3,2"};
constexpr std::array<PollCommand, 6> kBaselineCommands = {{{"AT+CREG?", &Baseline},
                                                           {"AT+CGREG?", &Baseline},
                                                           {"AT+CEREG?", &Baseline},
                                                           {"AT+COPS?", &Baseline},
                                                           {"AT+CSQ", &Baseline},
                                                           {"AT+CESQ", &Baseline}}};

// A family's own reports first, then the baseline, which fills what they leave absent.
template <std::size_t N>
constexpr std::array<PollCommand, N + kBaselineCommands.size()> WithBaseline(const std::array<PollCommand, N>& own) {
  std::array<PollCommand, N + kBaselineCommands.size()> all{};
  for (std::size_t i = 0; i < N; ++i) all[i] = own[i];
  for (std::size_t i = 0; i < kBaselineCommands.size(); ++i) all[N + i] = kBaselineCommands[i];
  return all;
}

constexpr std::array<std::string_view, 5> kQuectelSetup = {"AT+CREG=2", "AT+CGREG=2", "AT+CEREG=2", "AT+COPS=3,2",
                                                           "AT+QENG=1"};
constexpr auto kQuectelCommands =
    WithBaseline(std::array<PollCommand, 3>{{{"AT+QENG=\"servingcell\"", &Report<ReadQuectelServingCell>},
                                             {"AT+QENG=\"neighbourcell\"", &Report<ReadQuectelNeighbourCells>},
                                             {"AT+QENG?", &Report<ReadQuectelEngineering2g>}}});

constexpr std::array<std::string_view, 5> kSimcomSetup = {"AT+CREG=2", "AT+CGREG=2", "AT+CEREG=2", "AT+COPS=3,2",
                                                          "AT+CENG=1,1"};
constexpr auto kSimcomCommands = WithBaseline(std::array<PollCommand, 2>{
    {{"AT+CPSI?", &Report<ReadSimcomSystemInfo>}, {"AT+CENG?", &Report<ReadSimcomEngineering>}}});

constexpr std::array<std::string_view, 5> kUbloxSetup = {"AT+CREG=2", "AT+CGREG=2", "AT+CEREG=2", "AT+COPS=3,2",
                                                         "AT+UCGED=2"};
constexpr auto kUbloxCommands = WithBaseline(
    std::array<PollCommand, 2>{{{"AT+UCGED?", &Report<ReadUbloxCellInfo>}, {"AT+CGED=3", &Report<ReadUbloxCellDump>}}});

constexpr auto kTelitCommands =
    WithBaseline(std::array<PollCommand, 3>{{{"AT#RFSTS", &Report<ReadTelitRadioStatus>},
                                             {"AT#MONI", &Report<ReadTelitMonitor>},
                                             {"AT#SERVINFO", &Report<ReadTelitServingInfo>}}});

constexpr auto kSierraCommands = WithBaseline(std::array<PollCommand, 1>{{{"AT!GSTATUS?", &Report<ReadSierraStatus>}}});

constexpr std::array<Dialect, 6> kDialects = {{
    {kBaselineDialect, kBaselineSetup, kBaselineCommands},
    {"quectel", kQuectelSetup, kQuectelCommands},
    {"simcom", kSimcomSetup, kSimcomCommands},
    {"ublox", kUbloxSetup, kUbloxCommands},
    {"telit", kBaselineSetup, kTelitCommands},
    {"sierra", kBaselineSetup, kSierraCommands},
}};

constexpr std::array<std::string_view, 7> kNames = {kSeedDialect, kBaselineDialect, "quectel", "simcom",
                                                    "ublox",      "telit",          "sierra"};

}  // namespace

std::span<const std::string_view> DialectNames() { return kNames; }

const Dialect* DialectNamed(std::string_view name) {
  for (const Dialect& dialect : kDialects) {
    if (dialect.name == name) return &dialect;
  }
  return nullptr;
}

bool IsDialectName(std::string_view name) {
  for (const std::string_view known : kNames) {
    if (known == name) return true;
  }
  return false;
}

std::string_view FamilyOfIdentity(std::string_view manufacturer, std::string_view model) {
  const std::string text = Lower(manufacturer) + " " + Lower(model);
  if (Lower(manufacturer) == "simulated") return kSeedDialect;
  if (text.find("quectel") != std::string::npos) return "quectel";
  if (text.find("simcom") != std::string::npos) return "simcom";
  if (text.find("u-blox") != std::string::npos || text.find("ublox") != std::string::npos) return "ublox";
  if (text.find("telit") != std::string::npos) return "telit";
  if (text.find("sierra") != std::string::npos) return "sierra";
  return "";
}

radio::Cycle CycleOfFacts(const CycleFacts& facts) {
  radio::Cycle cycle;
  for (const CellReport& report : facts.reports) MergeReport(cycle, report);
  MergeReport(cycle, BaselineReport(facts.baseline));
  return cycle;
}

CommandList::CommandList(const Dialect& dialect)
    : commands_(dialect.commands.begin(), dialect.commands.end()), refused_(commands_.size(), false) {}

std::vector<PollCommand> CommandList::Active() const {
  std::vector<PollCommand> active;
  for (std::size_t i = 0; i < commands_.size(); ++i) {
    if (!refused_[i]) active.push_back(commands_[i]);
  }
  return active;
}

bool CommandList::Refuse(std::string_view command) {
  for (std::size_t i = 0; i < commands_.size(); ++i) {
    if (commands_[i].text == command && !refused_[i]) {
      refused_[i] = true;
      return true;
    }
  }
  return false;
}

bool IsRefusal(std::string_view line) {
  return line == "ERROR" || line.starts_with("+CME ERROR") || line.starts_with("+CMS ERROR") ||
         line == "COMMAND NOT SUPPORT";
}

bool IsFinalResult(std::string_view line) { return line == "OK" || IsRefusal(line); }

}  // namespace dialects
