#pragma once
// The default style of a GeoPackage layer of cycles, in the table QGIS keeps its styles in
// (layer_styles), so that QGIS opens the layer with its points coloured by the serving level in
// the classes of export/level_classes.h. Inside the export module only.

#include <string>

class GDALDataset;

namespace gsmexport {

// The QGIS style document (QML): a rule per level class on the serving cell's level.
std::string LevelStyleQml();

// Adds the style row for layer (its geometry column as the dataset has it) to the dataset's
// layer_styles table, making the table first; false when it cannot.
bool AddLevelStyle(GDALDataset& dataset, const std::string& layer);

}  // namespace gsmexport
