#include "tools/gsm_modem_sim/sim_dialects.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "tools/gsm_modem_sim/sim_modem.h"

namespace modemsim {
namespace {

std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string Ok(const std::vector<std::string>& lines) { return FramedAnswer(lines); }

int RxLev(int dbm) { return dbm < -110 ? 0 : (dbm > -48 ? 63 : dbm + 111); }

// 27.007 registration: <n>=2, registered home, area and cell in quoted hex, the access technology.
std::optional<std::string> Baseline(SimTech tech, const CellWorld& world, const std::string& command) {
  const SimCell& gsm = world.Serving();
  const SimLteCell lte = LteServing(world);
  const int act = tech == SimTech::gsm ? 0 : (tech == SimTech::endc ? 13 : 7);
  if (command == "AT+CREG=2" || command == "AT+CGREG=2" || command == "AT+CEREG=2" || command == "AT+COPS=3,2") {
    return Ok({});
  }
  if (command == "AT+CREG?" || command == "AT+CGREG?") {
    const std::string prefix = command == "AT+CREG?" ? "+CREG" : "+CGREG";
    if (tech == SimTech::gsm)
      return Ok({Format("%s: 2,1,\"%04X\",\"%04X\",0", prefix.c_str(), world.Lac(), GsmCellIdOf(gsm))});
    // LTE modules keep no location area: FFFE, as real ones write.
    return Ok({Format("%s: 2,1,\"FFFE\",\"%07lX\",%d", prefix.c_str(), lte.cellId, act)});
  }
  if (command == "AT+CEREG?") {
    if (tech == SimTech::gsm) return Ok({"+CEREG: 2,0"});
    return Ok({Format("+CEREG: 2,1,\"%04X\",\"%07lX\",%d", lte.tac, lte.cellId, act)});
  }
  if (command == "AT+COPS?") return Ok({Format("+COPS: 0,2,\"%d%02d\",%d", kSimMcc, world.Mnc(), act)});
  if (command == "AT+CSQ") {
    const int dbm = tech == SimTech::gsm ? gsm.level : lte.rssiDbm;
    const int rssi = dbm < -113 ? 0 : (dbm > -51 ? 31 : (dbm + 113) / 2);
    return Ok({Format("+CSQ: %d,%d", rssi, tech == SimTech::gsm ? 0 : 99)});
  }
  if (command == "AT+CESQ") {
    if (tech == SimTech::gsm) return Ok({Format("+CESQ: %d,0,255,255,255,255", RxLev(gsm.level))});
    return Ok({Format("+CESQ: 99,99,255,255,%d,%d", (lte.rsrqDb + 20) * 2, lte.rsrpDbm + 141)});
  }
  return std::nullopt;
}

std::optional<std::string> Quectel(SimTech tech, const CellWorld& world, const std::string& command) {
  const SimCell& gsm = world.Serving();
  if (command == "AT+QENG=\"SERVINGCELL\"") {
    if (tech == SimTech::gsm) {
      return Ok(
          {Format("+QENG: \"servingcell\",\"NOCONN\",\"GSM\",%d,%02d,%X,%X,%d,%d,-,%d,255,255,0,%d,%d,1,-,-,-,-,-,-"
                  ",-,-,-,\"-\"",
                  kSimMcc, world.Mnc(), world.Lac(), GsmCellIdOf(gsm), BsicOf(gsm), gsm.channel, gsm.level,
                  gsm.level + 110, gsm.level + 112)});
    }
    const SimLteCell lte = LteServing(world);
    const std::string lteFields =
        Format("\"FDD\",%d,%02d,%lX,%d,%d,%d,5,5,%X,%d,%d,%d,%d", kSimMcc, world.Mnc(), lte.cellId, lte.pci, lte.earfcn,
               lte.band, lte.tac, lte.rsrpDbm, lte.rsrqDb, lte.rssiDbm, lte.sinrDb);
    if (tech == SimTech::lte) return Ok({"+QENG: \"servingcell\",\"NOCONN\",\"LTE\"," + lteFields + ",38"});
    const SimNrCell nr = NrLeg(world);
    return Ok({"+QENG: \"servingcell\",\"NOCONN\"", "+QENG: \"LTE\"," + lteFields + ",-,-,38",
               Format("+QENG:\"NR5G-NSA\",%d,%02d,%d,%d,%d,%d,%d,%d,100,1", kSimMcc, world.Mnc(), nr.pci, nr.rsrpDbm,
                      nr.sinrDb, nr.rsrqDb, nr.arfcn, nr.band)});
  }
  if (command == "AT+QENG=\"NEIGHBOURCELL\"") {
    std::vector<std::string> lines;
    if (tech != SimTech::gsm) {
      const SimLteCell lte = LteServing(world);
      lines.push_back(Format("+QENG: \"neighbourcell intra\",\"LTE\",%d,%d,%d,%d,%d,%d,40,6,22,6,46", lte.earfcn,
                             (lte.pci + 1) % 504, lte.rsrqDb - 3, lte.rsrpDbm - 8, lte.rssiDbm - 6, lte.sinrDb - 5));
      for (const SimWcdmaCell& cell : WcdmaNeighbours(world)) {
        lines.push_back(Format("+QENG: \"neighbourcell\",\"WCDMA\",%d,3,14,6,%d,%d,%d,20", cell.uarfcn, cell.psc,
                               cell.rscpDbm, cell.ecnoDb));
      }
    }
    for (const SimCell& cell : world.Neighbours()) {
      lines.push_back(Format("+QENG: \"neighbourcell\",\"GSM\",%d,%02d,%X,%X,%d,%d,%d,%d,%d,0,0", kSimMcc, world.Mnc(),
                             world.Lac(), GsmCellIdOf(cell), BsicOf(cell), cell.channel, cell.level, cell.level + 110,
                             cell.level + 112));
    }
    return Ok(lines);
  }
  return Baseline(tech, world, command);
}

std::optional<std::string> Simcom(SimTech tech, const CellWorld& world, const std::string& command) {
  const SimCell& gsm = world.Serving();
  if (command == "AT+CPSI?") {
    if (tech == SimTech::gsm) {
      return Ok(
          {Format("+CPSI: GSM,Online,%d-%02d,0x%04x,%d,%d %s,%d,2110,%d-%d", kSimMcc, world.Mnc(), world.Lac(),
                  GsmCellIdOf(gsm), gsm.channel, gsm.channel >= 512 && gsm.channel <= 885 ? "DCS 1800" : "EGSM 900",
                  gsm.level, gsm.level + 110, gsm.level + 112)});
    }
    // The Qualcomm-based modules write the LTE levels in tenths of a dB.
    const SimLteCell lte = LteServing(world);
    std::vector<std::string> lines = {Format("+CPSI: LTE,Online,%d-%02d,0x%04X,%ld,%d,EUTRAN-BAND%d,%d,5,5,%d,%d,%d,%d",
                                             kSimMcc, world.Mnc(), lte.tac, lte.cellId, lte.pci, lte.band, lte.earfcn,
                                             lte.rsrqDb * 10, lte.rsrpDbm * 10, lte.rssiDbm * 10, lte.sinrDb)};
    if (tech == SimTech::endc) {
      const SimNrCell nr = NrLeg(world);
      lines.push_back(Format("+CPSI: NR5G_NSA,%d,NR5G_BAND%d,%d,%d,%d,%d", nr.pci, nr.band, nr.arfcn, nr.rsrpDbm * 10,
                             nr.rsrqDb * 10, nr.sinrDb * 10));
    }
    return Ok(lines);
  }
  if (command == "AT+CENG=1,1") return Ok({});
  if (command == "AT+CENG?") {
    // The GSM engineering mode reports only while on GSM.
    if (tech != SimTech::gsm) return std::string("\r\nERROR\r\n");
    std::vector<std::string> lines = {"+CENG: 1,1"};
    lines.push_back(Format("+CENG: 0,\"%04d,%02d,00,%d,%02d,%d,%04x,%02d,05,%04x,1\"", gsm.channel, RxLev(gsm.level),
                           kSimMcc, world.Mnc(), BsicOf(gsm), GsmCellIdOf(gsm), RxLev(gsm.level), world.Lac()));
    int index = 1;
    for (const SimCell& cell : world.Neighbours()) {
      lines.push_back(Format("+CENG: %d,\"%04d,%02d,%02d,%04x,%d,%02d,%04x\"", index++, cell.channel, RxLev(cell.level),
                             BsicOf(cell), GsmCellIdOf(cell), kSimMcc, world.Mnc(), world.Lac()));
    }
    return Ok(lines);
  }
  return Baseline(tech, world, command);
}

}  // namespace

SimIdentity IdentityOf(SimDialect dialect, SimTech tech) {
  switch (dialect) {
    case SimDialect::quectel:
      return {"Quectel", tech == SimTech::endc ? "RM500Q-GL" : (tech == SimTech::gsm ? "EC21" : "EC25"),
              "EC25EFAR06A06M4G"};
    case SimDialect::simcom:
      return {"SIMCOM INCORPORATED", tech == SimTech::gsm ? "SIMCOM_SIM800" : "SIMCOM_SIM7600E-H",
              "+CGMR: LE20B04SIM7600M22"};
    case SimDialect::baseline:
      return {"OTHER MAKER", "LTE MODULE", "1.0"};
    case SimDialect::moni:
      break;
  }
  return {std::string(SimModem::kManufacturer), std::string(SimModem::kModel), std::string(SimModem::kRevision)};
}

std::optional<std::string> DialectAnswer(SimDialect dialect, SimTech tech, const CellWorld& world,
                                         const std::string& command) {
  switch (dialect) {
    case SimDialect::baseline:
      return Baseline(tech, world, command);
    case SimDialect::quectel:
      return Quectel(tech, world, command);
    case SimDialect::simcom:
      return Simcom(tech, world, command);
    case SimDialect::moni:
      break;
  }
  return std::nullopt;
}

bool OpensCycle(SimDialect dialect, const std::string& command) {
  switch (dialect) {
    case SimDialect::quectel:
      return command == "AT+QENG=\"SERVINGCELL\"";
    case SimDialect::simcom:
      return command == "AT+CPSI?";
    case SimDialect::baseline:
      return command == "AT+CREG?";
    case SimDialect::moni:
      break;
  }
  return false;
}

}  // namespace modemsim
