#pragma once
// The answers of a sound modem with echo off, for scripted modems in tests.

#include <string>

#include "tests/support/scripted_modem.h"

namespace testsupport {

inline const std::string kServing =
    "\r\nServing Cell\r\n"
    "chann rs  dBm MCC MNC  LAC  cell NCC BCC PWR RxLev  C1  C2 RxQFull TA I TS timAdv chann  dBm Q ChMod\r\n"
    "  989 14  -82 250  99 1BE9 15CCF   4   4  33    28  24  24       0  6 I No connection\r\n";
// Six rows: a shorter report costs a read time-out per missing row.
inline const std::string kNeighbours =
    "\r\nchann rs  dBm NCC BCC  cell PWR RxLev  C1  C2\r\n"
    "  732 18  -74   0   6  DA53  33    36  32  32\r\n\r\n"
    "   55 16  -78   0   1  B27B  33    32  28  28\r\n\r\n"
    "  611 14  -81   4   6  CEB9  33    29  25  25\r\n\r\n"
    "  102 13  -85   2   3  2A11  33    25  21  21\r\n\r\n"
    "  977 12  -90   1   5  1C00  33    20  16  16\r\n\r\n"
    "  520 11  -95   3   2  0F3A  33    15  11  11\r\n";
inline const std::string kOk = "\r\nOK\r\n";

// A modem with echo off that answers every command as it should.
inline ScriptedReply GoodAnswer(const std::string& command) {
  if (command == "AT+CGMR") return {"\r\nREVISION 01.002\r\n" + kOk};
  if (command == "AT+CGSN") return {"\r\n356938035643809\r\n" + kOk};
  if (command == "AT+CGMI") return {"\r\nSCRIPTED\r\n" + kOk};
  if (command == "AT+CGMM") return {"\r\nPEER 1\r\n" + kOk};
  if (command == "AT^MONI") return {kServing + kOk};
  if (command == "AT^MONP") return {kNeighbours + kOk};
  return {kOk};
}

}  // namespace testsupport
