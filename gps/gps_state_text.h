#pragma once
// The GPS state as a person reads it, for the window's indicator and the headless text output
// (UTF-8): "GPS: 3D, спутников 9 из 12, 1 с назад", "GPS: нет местоположения (последнее 15 с
// назад)", "GPS: нет местоположения", "GPS: нет связи с gpsd localhost:2947", "GPS: выключен".

#include <chrono>
#include <string>

#include "gps/gps_fix.h"

namespace gps {

// address: gpsd's, as FormatGpsdAddress writes it ("" leaves it out).
std::string GpsStatusText(const GpsStatus& status, const std::string& address);

// "спутников 9 из 12", "спутников 9", "видно спутников 12"; "" when gpsd counted none.
std::string SatellitesText(const GpsStatus& status);

// An age to the whole unit below it: "0 с", "59 с", "2 мин", "3 ч".
std::string AgeText(std::chrono::steady_clock::duration age);

}  // namespace gps
