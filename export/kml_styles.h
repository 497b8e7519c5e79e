#pragma once
// The level colours of a KML export. GDAL's streaming KML driver writes no icon styles, so its
// output is copied once more, line by line, with a shared style per receive level added to the
// document and each placemark pointing at the style of its serving level.

#include <string>

namespace gsmexport {

// The style id of a level: "rx-75"; levels beyond the scale take its nearest end.
std::string LevelStyleId(int level);

// Copies the KML file at fromPath (UTF-8 path) to toPath with the level styles; false when either
// file fails. Memory stays within one placemark.
bool AddLevelStyles(const std::string& fromPath, const std::string& toPath);

}  // namespace gsmexport
