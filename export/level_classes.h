#pragma once
// The level classes of the map exports: a few bands of the serving level, each with a colour
// that stays visible on aerial imagery (no white or pale tint at the weak end: the scale runs
// from green through yellow and red to magenta) and a Russian caption for the legend. The KML
// folders and styles and the GeoPackage's QGIS style are made from this one table.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace gsmexport {

struct LevelClass {
  std::string_view id;       // "level1".."level6", "no-level"; a style's name
  std::optional<int> floor;  // the lowest level (dBm) of the class; nothing for the weakest and "no level"
  std::uint8_t red, green, blue;
  std::string_view caption;  // UTF-8, for the legend
};

// The classes from the strongest to the weakest, then the class of a cycle without a level.
std::span<const LevelClass> LevelClasses();
// The class of a level (dBm, whole); the last class for none.
const LevelClass& ClassOf(std::optional<int> level);

}  // namespace gsmexport
