#include "export/gpkg_style.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <ctime>
#include <memory>

#include "export/level_classes.h"

namespace gsmexport {
namespace {

// The level on the serving cell's own axis, whatever its technology.
constexpr const char* kLevel = "coalesce(&quot;rxlevel_dbm&quot;, &quot;rscp_dbm&quot;, &quot;rsrp_dbm&quot;)";

std::string Filter(const LevelClass& c, const LevelClass* stronger) {
  if (c.id == "no-level") return std::string(kLevel) + " IS NULL";
  std::string filter;
  if (c.floor) filter = std::string(kLevel) + " &gt;= " + std::to_string(*c.floor);
  if (stronger != nullptr && stronger->floor) {
    filter += (filter.empty() ? "" : " AND ") + std::string(kLevel) + " &lt; " + std::to_string(*stronger->floor);
  }
  return filter;
}

std::string MarkerSymbol(int index, const LevelClass& c) {
  const std::string colour =
      std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue) + ",255";
  return "<symbol name=\"" + std::to_string(index) +
         "\" type=\"marker\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\">"
         "<layer class=\"SimpleMarker\" enabled=\"1\" pass=\"0\" locked=\"0\">"
         "<prop k=\"name\" v=\"circle\"/><prop k=\"color\" v=\"" +
         colour +
         "\"/><prop k=\"outline_color\" v=\"40,40,40,255\"/><prop k=\"outline_style\" v=\"solid\"/>"
         "<prop k=\"outline_width\" v=\"0.2\"/><prop k=\"outline_width_unit\" v=\"MM\"/>"
         "<prop k=\"size\" v=\"2.4\"/><prop k=\"size_unit\" v=\"MM\"/>"
         "</layer></symbol>";
}

}  // namespace

std::string LevelStyleQml() {
  std::string rules;
  std::string symbols;
  const LevelClass* stronger = nullptr;
  int index = 0;
  for (const LevelClass& c : LevelClasses()) {
    rules += "<rule key=\"" + std::string(c.id) + "\" symbol=\"" + std::to_string(index) + "\" label=\"" +
             std::string(c.caption) + "\" filter=\"" + Filter(c, stronger) + "\"/>";
    symbols += MarkerSymbol(index, c);
    if (c.floor) stronger = &c;
    ++index;
  }
  return "<qgis version=\"3.22.0\" styleCategories=\"Symbology\">"
         "<renderer-v2 type=\"RuleRenderer\" symbollevels=\"0\" enableorderby=\"0\" forceraster=\"0\">"
         "<rules key=\"root\">" +
         rules + "</rules><symbols>" + symbols + "</symbols></renderer-v2></qgis>\n";
}

bool AddLevelStyle(GDALDataset& dataset, const std::string& layer) {
  OGRLayer* target = dataset.GetLayerByName(layer.c_str());
  if (target == nullptr) return false;
  OGRLayer* styles = dataset.GetLayerByName("layer_styles");
  if (styles == nullptr) {
    CPLStringList options;
    options.SetNameValue("FID", "id");
    styles = dataset.CreateLayer("layer_styles", nullptr, wkbNone, options.List());
    if (styles == nullptr) return false;
    for (const char* name : {"f_table_catalog", "f_table_schema", "f_table_name", "f_geometry_column", "stylename",
                             "styleqml", "stylesld"}) {
      OGRFieldDefn field(name, OFTString);
      if (styles->CreateField(&field) != OGRERR_NONE) return false;
    }
    OGRFieldDefn useAsDefault("useasdefault", OFTInteger);
    useAsDefault.SetSubType(OFSTBoolean);
    if (styles->CreateField(&useAsDefault) != OGRERR_NONE) return false;
    for (const char* name : {"description", "owner", "ui"}) {
      OGRFieldDefn field(name, OFTString);
      if (styles->CreateField(&field) != OGRERR_NONE) return false;
    }
    OGRFieldDefn updated("update_time", OFTDateTime);
    if (styles->CreateField(&updated) != OGRERR_NONE) return false;
  }
  const std::unique_ptr<OGRFeature> row(OGRFeature::CreateFeature(styles->GetLayerDefn()));
  // QGIS looks the style up by an empty catalogue and schema, the table and its geometry column.
  row->SetField("f_table_catalog", "");
  row->SetField("f_table_schema", "");
  row->SetField("f_table_name", layer.c_str());
  row->SetField("f_geometry_column", target->GetGeometryColumn());
  row->SetField("stylename", layer.c_str());
  row->SetField("styleqml", LevelStyleQml().c_str());
  row->SetField("stylesld", "");
  row->SetField("useasdefault", 1);
  row->SetField("description", "Уровень обслуживающей соты");
  row->SetField("owner", "");
  row->SetField("ui", "");
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  row->SetField(row->GetFieldIndex("update_time"), utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                utc.tm_min, static_cast<float>(utc.tm_sec), 100);
  return styles->CreateFeature(row.get()) == OGRERR_NONE;
}

}  // namespace gsmexport
