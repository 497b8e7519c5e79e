#pragma once
// One poll cycle as typed data: when and where it was taken, the modem that took it, and every
// cell it reported, each with the measures of its own radio technology. Every measure is an
// optional number with its unit in its name: absent means the modem did not report it, or wrote
// something that is no value (a placeholder, a value outside its range). How an absent value is
// shown ("(n/a)" in the window, null in JSON) is the business of whoever shows it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "radio/position.h"

namespace radio {

enum class Tech : std::uint8_t { gsm, wcdma, lte, nr };

// "gsm", "wcdma", "lte", "nr": the name machine outputs use.
std::string_view TechName(Tech tech);
std::optional<Tech> TechNamed(std::string_view name);

struct GsmMeasures {
  std::optional<int> bsic;           // 0..63, NCC·8 + BCC
  std::optional<int> rxLevelDbm;     // received level
  std::optional<int> rxQual;         // 0..7
  std::optional<double> berPercent;  // the bit-error rate RXQUAL stands for
  std::optional<int> c1;             // path-loss criterion
  std::optional<int> c2;             // reselection criterion
  std::optional<int> timingAdvance;  // steps of 553.5 m round trip, 0..63
  std::optional<double> distanceKm;  // the distance the timing advance stands for
};

struct WcdmaMeasures {
  std::optional<int> psc;         // primary scrambling code, 0..511
  std::optional<double> rscpDbm;  // received signal code power
  std::optional<double> ecnoDb;   // Ec/No
};

struct LteMeasures {
  std::optional<int> pci;  // physical cell identity, 0..503
  std::optional<double> rsrpDbm;
  std::optional<double> rsrqDb;
  std::optional<double> rssiDbm;
  std::optional<double> sinrDb;
};

struct NrMeasures {
  std::optional<int> pci;         // 0..1007
  std::optional<double> rsrpDbm;  // SS-RSRP
  std::optional<double> rsrqDb;   // SS-RSRQ
  std::optional<double> sinrDb;   // SS-SINR
};

// The order of the alternatives is the order of Tech.
using Measures = std::variant<GsmMeasures, WcdmaMeasures, LteMeasures, NrMeasures>;

struct Cell {
  Measures measures;           // its technology's measures; GSM unless a reader says otherwise
  std::optional<int> channel;  // ARFCN, UARFCN, EARFCN or NR-ARFCN
  std::string band;            // "GSM900", "EGSM900", "GSM1800", "B3", "n78"; "" when unknown

  // The network's identity of the cell, where the modem reports it (the serving cell mostly).
  std::optional<int> mcc;           // 1..999
  std::optional<int> mnc;           // 0..999
  std::optional<std::int64_t> lac;  // location area (GSM, WCDMA)
  std::optional<std::int64_t> tac;  // tracking area (LTE, NR)
  std::optional<std::int64_t> cellId;

  // Names the modem or the reader gives as text (Windows-1251), "" when none.
  std::string countryName;
  std::string operatorName;

  Tech tech() const { return static_cast<Tech>(measures.index()); }
  const GsmMeasures* gsm() const { return std::get_if<GsmMeasures>(&measures); }
  GsmMeasures* gsm() { return std::get_if<GsmMeasures>(&measures); }
  const WcdmaMeasures* wcdma() const { return std::get_if<WcdmaMeasures>(&measures); }
  const LteMeasures* lte() const { return std::get_if<LteMeasures>(&measures); }
  const NrMeasures* nr() const { return std::get_if<NrMeasures>(&measures); }

  // The cell's level on its technology's dBm axis: RxLev, RSCP, RSRP.
  std::optional<double> LevelDbm() const;
  // The cell's identity within its channel: BSIC, PSC or PCI.
  std::optional<int> PhysicalId() const;
};

// The modem's identity as it answered the queries (Windows-1251 texts, "" when not answered).
struct Identity {
  std::string imei;
  std::string manufacturer;
  std::string model;
  std::string firmware;
  std::string imsi;
};

// Network registration as +CREG/+CGREG/+CEREG report it.
enum class Registration : std::uint8_t { unknown, notRegistered, home, searching, denied, roaming };
std::string_view RegistrationName(Registration registration);

// One value as the report of the modem's own family delivered it: the addressed field code, the
// text that family shows and logs (Windows-1251), and the number that text states. The log keeps
// these records byte for byte; other families deliver none.
struct DeliveredField {
  int code = 0;
  int cell = 0;
  std::string text;
  std::optional<double> number;
};

struct Cycle {
  long n = 0;                                    // from 1 within a run
  std::chrono::system_clock::time_point time{};  // when its values were complete: the logged time
  std::optional<Position> position;              // a fresh fix, when there was one
  Identity identity;
  std::optional<Cell> serving;
  std::vector<Cell> secondary;   // beside the serving cell: the NR leg of EN-DC
  std::vector<Cell> neighbours;  // in report order
  Registration registration = Registration::unknown;
  std::vector<DeliveredField> delivered;  // in arrival order
};

}  // namespace radio
