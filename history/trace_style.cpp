#include "history/trace_style.h"

#include <array>
#include <cmath>

namespace history {

namespace {

constexpr int kPaletteSize = 10;

// Tableau's ten: distinct hues of middle lightness, readable on white.
constexpr std::array<Rgb, kPaletteSize> kFirstPalette{{{31, 119, 180},
                                                       {255, 127, 14},
                                                       {44, 160, 44},
                                                       {214, 39, 40},
                                                       {148, 103, 189},
                                                       {140, 86, 75},
                                                       {227, 119, 194},
                                                       {127, 127, 127},
                                                       {188, 189, 34},
                                                       {23, 190, 207}}};
// Darker and more saturated ones, each far from every colour of the first palette.
constexpr std::array<Rgb, kPaletteSize> kSecondPalette{{{0, 45, 110},
                                                        {140, 60, 0},
                                                        {0, 95, 50},
                                                        {130, 0, 40},
                                                        {80, 30, 120},
                                                        {255, 80, 140},
                                                        {0, 120, 120},
                                                        {40, 40, 40},
                                                        {200, 0, 160},
                                                        {110, 140, 255}}};
constexpr std::array<LineDash, 4> kDashes{LineDash::solid, LineDash::dash, LineDash::dot, LineDash::dashDot};

struct Lab {
  double l, a, b;
};

double Linear(std::uint8_t channel) {
  const double u = channel / 255.0;
  return u <= 0.04045 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4);
}

Lab ToLab(Rgb c) {
  const double r = Linear(c.r), g = Linear(c.g), b = Linear(c.b);
  // sRGB to XYZ, relative to the D65 white.
  const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
  const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
  const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
  const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
  return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

}  // namespace

TraceStyle TraceStyleOf(int index) {
  const int within = ((index % kDistinctTraceStyles) + kDistinctTraceStyles) % kDistinctTraceStyles;
  const auto& palette = within < kDistinctTraceStyles / 2 ? kFirstPalette : kSecondPalette;
  const int inHalf = within % (kDistinctTraceStyles / 2);
  return {palette[static_cast<std::size_t>(inHalf % kPaletteSize)],
          kDashes[static_cast<std::size_t>(inHalf / kPaletteSize)]};
}

double ColourDistance(Rgb a, Rgb b) {
  const Lab p = ToLab(a), q = ToLab(b);
  return std::sqrt((p.l - q.l) * (p.l - q.l) + (p.a - q.a) * (p.a - q.a) + (p.b - q.b) * (p.b - q.b));
}

}  // namespace history
