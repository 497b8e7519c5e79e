#pragma once
// The answers of the simulated modem when it speaks another family's dialect: the 3GPP baseline
// every modem gives, Quectel's AT+QENG reports, SIMCom's AT+CPSI? and AT+CENG?, written as those
// modems write them.

#include <optional>
#include <string>

#include "tools/gsm_modem_sim/cell_world.h"
#include "tools/gsm_modem_sim/sim_techs.h"

namespace modemsim {

// The family whose answers the simulator gives: the seed family's ("moni", as always), only the
// 3GPP baseline, Quectel or SIMCom.
enum class SimDialect { moni, baseline, quectel, simcom };

struct SimIdentity {
  std::string manufacturer;
  std::string model;
  std::string revision;
};
SimIdentity IdentityOf(SimDialect dialect, SimTech tech);

// The framed answer to an upper-case command in the dialect, nothing for a command the dialect
// does not know (the simulator then answers ERROR).
std::optional<std::string> DialectAnswer(SimDialect dialect, SimTech tech, const CellWorld& world,
                                         const std::string& command);

// The command that opens a poll cycle in the dialect (the world moves one step before it).
bool OpensCycle(SimDialect dialect, const std::string& command);

}  // namespace modemsim
