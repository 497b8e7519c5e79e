#pragma once
// The QGIS styles stored with the layers (QGIS reads its table layer_styles and takes the row
// marked useasdefault when a layer is opened): points coloured by the level on the window
// graph's scale, -113 dBm (white) to -47 dBm (green), in classes of 6 dB.

#include <string>

namespace fleetdb {

// A QGIS style (QML) of a point layer graduated by column on that scale, markers of size mm.
std::string LevelStyleQml(const std::string& column, double size);

}  // namespace fleetdb
