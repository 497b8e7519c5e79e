#include "map/web_mercator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace map {

namespace {

constexpr double kEarthRadius = 6378137.0;  // the sphere Web Mercator projects from
constexpr double kMeanRadius = 6371008.8;

double Radians(double degrees) { return degrees * std::numbers::pi / 180; }
double Degrees(double radians) { return radians * 180 / std::numbers::pi; }

}  // namespace

double WorldSize(int zoom) { return std::ldexp(static_cast<double>(kTileSize), std::clamp(zoom, 0, 30)); }

WorldPixel ToPixel(LatLon place, int zoom) {
  const double size = WorldSize(zoom);
  const double latitude = Radians(std::clamp(place.latitude, -kMaxLatitude, kMaxLatitude));
  const double x = (place.longitude + 180) / 360 * size;
  const double y = (1 - std::log(std::tan(latitude) + 1 / std::cos(latitude)) / std::numbers::pi) / 2 * size;
  return {x, y};
}

LatLon ToLatLon(WorldPixel pixel, int zoom) {
  const double size = WorldSize(zoom);
  const double longitude = pixel.x / size * 360 - 180;
  const double latitude = Degrees(std::atan(std::sinh(std::numbers::pi * (1 - 2 * pixel.y / size))));
  return {latitude, longitude};
}

TileId TileAt(WorldPixel pixel, int zoom) {
  const int last = static_cast<int>(WorldSize(zoom) / kTileSize) - 1;
  const auto index = [last](double at) { return std::clamp(static_cast<int>(std::floor(at / kTileSize)), 0, last); };
  return {zoom, index(pixel.x), index(pixel.y)};
}

double MetresPerPixel(double latitude, int zoom) {
  const double latitudeClamped = std::clamp(latitude, -kMaxLatitude, kMaxLatitude);
  return 2 * std::numbers::pi * kEarthRadius * std::cos(Radians(latitudeClamped)) / WorldSize(zoom);
}

double DistanceMetres(LatLon a, LatLon b) {
  const double dLat = Radians(b.latitude - a.latitude);
  const double dLon = Radians(b.longitude - a.longitude);
  const double h = std::sin(dLat / 2) * std::sin(dLat / 2) + std::cos(Radians(a.latitude)) *
                                                                 std::cos(Radians(b.latitude)) * std::sin(dLon / 2) *
                                                                 std::sin(dLon / 2);
  return 2 * kMeanRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

}  // namespace map
