// Web Mercator against known tiles and scales, and the scale bar's round lengths.

#include "map/web_mercator.h"

#include <gtest/gtest.h>

#include <cmath>

#include "map/scale_bar.h"

namespace {

using map::LatLon;

TEST(WebMercator, PlacesFallOnTheirKnownTilesAndComeBack) {
  struct Case {
    LatLon place;
    int zoom;
    map::TileId tile;
  };
  const Case cases[] = {
      {{0, 0}, 0, {0, 0, 0}},
      {{0.0001, -0.0001}, 1, {1, 0, 0}},             // just north-west of the centre
      {{-0.0001, 0.0001}, 1, {1, 1, 1}},             // just south-east of it
      {{55.7558, 37.6173}, 10, {10, 619, 320}},      // Moscow
      {{-33.8688, 151.2093}, 12, {12, 3768, 2457}},  // Sydney, south and east
      {{89.9, -180}, 3, {3, 0, 0}},                  // beyond the square's edge: its corner tile
      {{-89.9, 179.9999}, 3, {3, 7, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.place.latitude << " " << c.place.longitude << " z" << c.zoom);
    const map::WorldPixel pixel = map::ToPixel(c.place, c.zoom);
    EXPECT_EQ(map::TileAt(pixel, c.zoom), c.tile);
    if (std::abs(c.place.latitude) < map::kMaxLatitude) {
      const LatLon back = map::ToLatLon(pixel, c.zoom);
      EXPECT_NEAR(back.latitude, c.place.latitude, 1e-9);
      EXPECT_NEAR(back.longitude, c.place.longitude, 1e-9);
    }
  }
  const map::WorldPixel centre = map::ToPixel({0, 0}, 0);
  EXPECT_DOUBLE_EQ(centre.x, 128);
  EXPECT_DOUBLE_EQ(centre.y, 128);
}

TEST(WebMercator, GroundScaleAndDistance) {
  EXPECT_NEAR(map::MetresPerPixel(0, 0), 156543.034, 0.001);
  EXPECT_NEAR(map::MetresPerPixel(60, 1), 156543.034 / 4, 0.001);   // half at 60°, half again a zoom in
  EXPECT_NEAR(map::DistanceMetres({55, 37}, {56, 37}), 111195, 1);  // a degree of latitude
  EXPECT_NEAR(map::DistanceMetres({0, 0}, {0, 180}), 20015114, 1);  // half the mean circumference
}

TEST(ScaleBar, TheLongestRoundLengthThatFits) {
  struct Case {
    double metresPerPixel;
    int room;
    double metres;
    int pixels;
  };
  const Case cases[] = {
      {1.0, 100, 100, 100}, {1.0, 99, 50, 50},   {1.0, 250, 200, 200},       {10, 120, 1000, 100},
      {0.3, 100, 20, 67},   {2.4, 150, 200, 83}, {156543.034, 100, 1e7, 64}, {0.01, 120, 1, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.metresPerPixel << " m/px in " << c.room << " px");
    const map::ScaleBar bar = map::ChooseScaleBar(c.metresPerPixel, c.room);
    EXPECT_DOUBLE_EQ(bar.metres, c.metres);
    EXPECT_EQ(bar.pixels, c.pixels);
    EXPECT_LE(bar.pixels, c.room);
  }
  EXPECT_EQ(map::ChooseScaleBar(0, 100).pixels, 0);
  EXPECT_EQ(map::ChooseScaleBar(1, 0).pixels, 0);
}

}  // namespace
