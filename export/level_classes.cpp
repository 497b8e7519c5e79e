#include "export/level_classes.h"

#include <array>

namespace gsmexport {
namespace {

constexpr std::array<LevelClass, 7> kClasses = {{
    {"level1", -65, 0, 170, 0, "-65 dBm и выше"},
    {"level2", -75, 130, 210, 0, "от -75 до -66 dBm"},
    {"level3", -85, 255, 215, 0, "от -85 до -76 dBm"},
    {"level4", -95, 255, 120, 0, "от -95 до -86 dBm"},
    {"level5", -105, 220, 0, 0, "от -105 до -96 dBm"},
    {"level6", std::nullopt, 170, 0, 170, "ниже -105 dBm"},
    {"no-level", std::nullopt, 110, 110, 110, "нет уровня"},
}};

}  // namespace

std::span<const LevelClass> LevelClasses() { return kClasses; }

const LevelClass& ClassOf(std::optional<int> level) {
  if (!level) return kClasses.back();
  for (const LevelClass& c : kClasses) {
    if (!c.floor || *level >= *c.floor) return c;
  }
  return kClasses[kClasses.size() - 2];
}

}  // namespace gsmexport
