#pragma once
// The simulated modem's command interpreter: bytes from the line in, bytes to send back out.
// Echo, framing and answers follow V.250 (verbose result codes): "\r\nOK\r\n".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/gsm_modem_sim/cell_world.h"
#include "tools/gsm_modem_sim/sim_dialects.h"

namespace modemsim {

struct SimOptions {
  std::uint32_t seed = 1;
  int neighbours = 6;  // rows of the neighbour report, 0..6
  SimBand band = SimBand::mixed;
  bool echoAlways = false;                // "ATE" leaves the echo on
  bool ring = false;                      // a "RING" notice before every fifth cell report
  bool noMoni = false;                    // cell reports answered with ERROR
  long silentAfter = -1;                  // poll cycles answered before falling silent; -1 never
  long hangupAfter = -1;                  // poll cycles answered before the line drops; -1 never
  long reselectEvery = 0;                 // poll cycles between two cell reselections; 0 never
  SimDialect dialect = SimDialect::moni;  // whose commands it answers
  SimTech tech = SimTech::gsm;            // what the other dialects report it camped on
};

class SimModem {
 public:
  explicit SimModem(const SimOptions& options);

  // Takes bytes received from the line; returns the bytes to send back (echo and answers).
  std::string Receive(std::string_view bytes);

  // Command lines completed since the last call, as received (without CR).
  std::vector<std::string> TakeCommands();

  // True once the line should drop: a command came after hangupAfter answered cycles. That
  // command gets no answer.
  bool HungUp() const;
  bool EchoOn() const { return echo_; }
  long Cycles() const { return cycles_; }
  const CellWorld& World() const { return world_; }

  // Values of the identity answers.
  std::string Imei() const;
  static constexpr std::string_view kManufacturer = "SIMULATED";
  static constexpr std::string_view kModel = "GSM-SIM 900";
  static constexpr std::string_view kRevision = "REVISION 01.002";

 private:
  std::string answer(const std::string& command);
  bool silent() const;

  SimOptions options_;
  CellWorld world_;
  bool echo_ = true;
  bool inCall_ = false;
  bool hungUp_ = false;
  long cycles_ = 0;
  long reports_ = 0;
  long reselectedAt_ = 0;  // the cycle count at the last reselection
  bool dialectCycleOpened_ = false;
  std::string line_;
  std::vector<std::string> commands_;
};

// The answer framing: "\r\n" line1 "\r\n" ... lastline "\r\n" then "\r\nOK\r\n"; no lines: "\r\nOK\r\n".
std::string FramedAnswer(const std::vector<std::string>& lines);

}  // namespace modemsim
