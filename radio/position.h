#pragma once
// A position fix as a receiver reports it.

#include <chrono>
#include <cmath>

namespace radio {

struct Position {
  double latitude = 0;                           // degrees, WGS 84, north positive
  double longitude = 0;                          // degrees, WGS 84, east positive
  double altitude = NAN;                         // metres above mean sea level; NaN when unknown
  int mode = 0;                                  // 2 (2D) or 3 (3D)
  double horizontalError = NAN;                  // metres, the receiver's estimate; NaN when unknown
  std::chrono::system_clock::time_point time{};  // the fix's own time (UTC); the epoch when unknown
};

}  // namespace radio
