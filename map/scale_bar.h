#pragma once
// The scale bar's length: the longest round distance (1, 2 or 5 times a power of ten metres) that
// fits in the room given.

namespace map {

struct ScaleBar {
  double metres = 0;
  int pixels = 0;
};

// For a map of metresPerPixel, at most maxPixels long (and at least one pixel).
ScaleBar ChooseScaleBar(double metresPerPixel, int maxPixels);

}  // namespace map
