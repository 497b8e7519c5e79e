#pragma once
// The colour scale of the receive level, shared by the window's graph and the map exports.

#include <cstdint>

namespace survey {

// A colour in the COLORREF layout: red in bits 0-7, green 8-15, blue 16-23.
using Colour = std::uint32_t;

// The colour of row (0 = bottom) of a column of height pixels for level (dBm): yellow to green
// above -75, red to yellow from -85, white to red below; darker towards the top. Levels above -47
// take the colour of -47 and levels below -113 that of -113, so every byte stays within 0..255.
Colour LevelColour(int level, int row, int height);
// a * (1 - t) + b * t per byte, truncated (and kept within 0..255).
Colour BlendColour(Colour a, Colour b, float t);

// The level's own colour on the scale: the foot of its column.
inline Colour ScaleColour(int level) { return LevelColour(level, 0, 1); }

}  // namespace survey
