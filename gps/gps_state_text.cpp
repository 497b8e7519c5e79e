#include "gps/gps_state_text.h"

namespace gps {

std::string AgeText(std::chrono::steady_clock::duration age) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(age).count();
  if (seconds < 0) return "0 с";
  if (seconds < 60) return std::to_string(seconds) + " с";
  if (seconds < 3600) return std::to_string(seconds / 60) + " мин";
  return std::to_string(seconds / 3600) + " ч";
}

std::string SatellitesText(const GpsStatus& status) {
  if (status.satellitesUsed) {
    std::string text = "спутников " + std::to_string(*status.satellitesUsed);
    if (status.satellitesVisible) text += " из " + std::to_string(*status.satellitesVisible);
    return text;
  }
  if (status.satellitesVisible) return "видно спутников " + std::to_string(*status.satellitesVisible);
  return {};
}

std::string GpsStatusText(const GpsStatus& status, const std::string& address) {
  const std::string satellites = SatellitesText(status);
  const std::string withSatellites = satellites.empty() ? std::string() : ", " + satellites;
  switch (status.state) {
    case GpsState::off:
      return "GPS: выключен";
    case GpsState::noGpsd:
      return address.empty() ? "GPS: нет связи с gpsd" : "GPS: нет связи с gpsd " + address;
    case GpsState::noFix:
      if (status.last) return "GPS: нет местоположения (последнее " + AgeText(status.age) + " назад)" + withSatellites;
      return "GPS: нет местоположения" + withSatellites;
    case GpsState::fix2D:
    case GpsState::fix3D:
      return std::string(status.state == GpsState::fix3D ? "GPS: 3D" : "GPS: 2D") + withSatellites + ", " +
             AgeText(status.age) + " назад";
  }
  return {};
}

}  // namespace gps
