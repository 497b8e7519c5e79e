#pragma once
// Web Mercator (EPSG:3857) as tiled maps use it: the world is a square of 256 << zoom pixels, x to
// the east from longitude -180, y to the south from latitude 85.0511.

#include <cstdint>

namespace map {

inline constexpr int kTileSize = 256;  // pixels on a side
inline constexpr int kMaxZoom = 19;
inline constexpr double kMaxLatitude = 85.05112877980659;  // the square's edge

struct LatLon {
  double latitude = 0;   // degrees, north positive
  double longitude = 0;  // degrees, east positive
};

struct WorldPixel {
  double x = 0;
  double y = 0;
};

// A tile of the XYZ scheme: row 0 at the north.
struct TileId {
  int zoom = 0;
  int x = 0;
  int y = 0;
  friend bool operator==(const TileId&, const TileId&) = default;
};

// The side of the world in pixels at zoom.
double WorldSize(int zoom);
// A place's pixel at zoom (latitudes beyond the square's edge are taken at the edge).
WorldPixel ToPixel(LatLon place, int zoom);
// The place at a pixel of zoom.
LatLon ToLatLon(WorldPixel pixel, int zoom);
// The tile holding a pixel at zoom (clamped into the world).
TileId TileAt(WorldPixel pixel, int zoom);
// Ground metres one pixel spans at latitude and zoom.
double MetresPerPixel(double latitude, int zoom);
// Ground distance between two places, metres (haversine on the WGS 84 mean radius).
double DistanceMetres(LatLon a, LatLon b);

}  // namespace map
