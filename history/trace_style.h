#pragma once
// How a cell's trace looks: a colour from a qualitative palette of ten for the first cells, then
// the same colours dashed, dotted and dash-dotted, then a second, darker palette in the four line
// styles, so the first kDistinctTraceStyles traces all look different. Assigned in the order the
// cells first appeared.

#include <cstdint>

namespace history {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class LineDash { solid, dash, dot, dashDot };

struct TraceStyle {
  Rgb colour;
  LineDash dash = LineDash::solid;
};

inline constexpr int kDistinctTraceStyles = 80;

// The style of the trace that appeared index-th (from 0); past kDistinctTraceStyles they repeat.
TraceStyle TraceStyleOf(int index);

// How far apart two colours look: the CIE76 difference in L*a*b* (about 2.3 is just noticeable;
// the palette keeps every two of its colours at least 25 apart).
double ColourDistance(Rgb a, Rgb b);

}  // namespace history
