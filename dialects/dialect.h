#pragma once
// A modem family's dialect: the commands it is set up with once, the commands of each poll
// cycle, and the reader of each answer. The families' dialects are tables; the family is picked
// from the modem's identity or named by the user. The seed family ("moni") has no table here:
// its exchange is the poll cycle of core/poll_cycle.h, unchanged.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dialects/baseline_reader.h"
#include "dialects/cell_report.h"

namespace dialects {

// What a cycle's answers said so far.
struct CycleFacts {
  std::vector<CellReport> reports;  // the engineering reports, in command order
  BaselineFacts baseline;
};

using Reader = void (*)(std::string_view response, CycleFacts& facts);

struct PollCommand {
  std::string_view text;  // as sent, without CR LF
  Reader read;
};

struct Dialect {
  std::string_view name;
  std::span<const std::string_view> setup;  // once, before the first cycle; refusals are ignored
  std::span<const PollCommand> commands;    // every cycle, in this order
};

// The seed family's name, whose exchange is core/poll_cycle.h.
inline constexpr std::string_view kSeedDialect = "moni";
inline constexpr std::string_view kBaselineDialect = "baseline";

// Every name --dialect takes: moni, baseline, quectel, simcom, ublox, telit, sierra.
std::span<const std::string_view> DialectNames();
// The table of a family; null for the seed family and for a name of none.
const Dialect* DialectNamed(std::string_view name);
bool IsDialectName(std::string_view name);

// The family the identity names (manufacturer or model, as AT+CGMI / AT+CGMM / ATI answer),
// "" for none known. The simulated modem of the seed family ("SIMULATED") is the seed family.
std::string_view FamilyOfIdentity(std::string_view manufacturer, std::string_view model);

// The cycle the facts describe: the engineering reports merged in order, the baseline's serving
// cell filling what they left absent (or standing alone), the registration.
radio::Cycle CycleOfFacts(const CycleFacts& facts);

// The commands of a dialect still polled: a command the modem refused is dropped after its
// first refusal.
class CommandList {
 public:
  explicit CommandList(const Dialect& dialect);
  std::vector<PollCommand> Active() const;
  // True the first time a command is refused (so it is said once); it is not polled again.
  bool Refuse(std::string_view command);

 private:
  std::vector<PollCommand> commands_;
  std::vector<bool> refused_;
};

// A final result that refuses a command: "ERROR", "+CME ERROR: ...", "+CMS ERROR: ...",
// "COMMAND NOT SUPPORT".
bool IsRefusal(std::string_view line);
// A final result: "OK" or a refusal.
bool IsFinalResult(std::string_view line);

}  // namespace dialects
