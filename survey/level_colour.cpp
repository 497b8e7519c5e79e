#include "survey/level_colour.h"

#include <algorithm>

namespace survey {
namespace {

constexpr int kLowestLevel = -113;
constexpr int kHighestLevel = -47;

constexpr Colour MakeColour(int red, int green, int blue) {
  return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) | (static_cast<Colour>(blue) << 16);
}

constexpr int ColourByte(Colour colour, int index) { return static_cast<int>((colour >> (8 * index)) & 0xFFu); }

// Truncation toward zero of a value already known to lie within a few units of 0..255.
int TruncByte(double value) { return std::clamp(static_cast<int>(value), 0, 255); }

}  // namespace

Colour BlendColour(Colour a, Colour b, float t) {
  const double share = static_cast<double>(t);
  const double rest = 1.0 - share;
  Colour result = 0;
  for (int k = 0; k < 3; ++k) {
    const int c = TruncByte(ColourByte(a, k) * rest + ColourByte(b, k) * share);
    result |= static_cast<Colour>(c) << (8 * k);
  }
  return result;
}

Colour LevelColour(int level, int row, int height) {
  // Levels off the scale take the colour of its nearest end, so t stays within 0..1.
  const int l = std::clamp(level, kLowestLevel, kHighestLevel);
  Colour start = 0;
  Colour base = 0;
  double quotient = 0.0;
  if (l >= -75) {
    start = MakeColour(255, 255, 0);
    base = MakeColour(0, 1, 0);
    quotient = (l + 75) / 28.0;
  } else if (l >= -85) {
    start = MakeColour(255, 0, 0);
    base = MakeColour(1, 1, 0);
    quotient = (l + 85) / 10.0;
  } else {
    start = MakeColour(255, 255, 255);
    base = MakeColour(1, 0, 0);
    quotient = (l + 113) / 28.0;
  }
  const float t = static_cast<float>(quotient);
  int shade = 255;
  if (height > 0) {
    const double h = height;
    const double i = row;
    shade = TruncByte(((h - i) / h + (i * static_cast<double>(t)) / h) * 255.0);
  }
  return BlendColour(start, base * static_cast<Colour>(shade), t);
}

}  // namespace survey
