#include "map/scale_bar.h"

#include <cmath>
#include <initializer_list>

namespace map {

ScaleBar ChooseScaleBar(double metresPerPixel, int maxPixels) {
  if (!(metresPerPixel > 0) || maxPixels < 1) return {};
  const double room = metresPerPixel * maxPixels;
  double power = std::pow(10.0, std::floor(std::log10(room)));
  double metres = power;
  for (const double step : {5.0, 2.0, 1.0}) {
    if (step * power <= room) {
      metres = step * power;
      break;
    }
  }
  // Rounding of the logarithm can leave the power one too high.
  while (metres > room) metres /= 10;
  const int pixels = static_cast<int>(std::lround(metres / metresPerPixel));
  return {metres, pixels < 1 ? 1 : pixels};
}

}  // namespace map
