#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "export/checked_files.h"
#include "export/event_points.h"
#include "export/gpkg_style.h"
#include "export/kml_styles.h"
#include "export/log_export.h"
#include "export/output_file.h"
#include "log/log_viewer.h"
#include "platform/file_name.h"
#include "platform/read_only_file.h"
#include "platform/text_encoding.h"
#include "radio/cell_values.h"
#include "survey/log_cycle.h"

namespace gsmexport {
namespace {

using namespace platform::literals;
using survey::SurveyCycle;

// GeoPackage commits in batches: one transaction per feature is slow, one for the whole log
// makes the journal grow with it.
constexpr long kFeaturesPerTransaction = 20000;

const char* DriverName(ExportFormat format) {
  switch (format) {
    case ExportFormat::geoPackage:
      return "GPKG";
    case ExportFormat::geoJson:
      return "GeoJSON";
    case ExportFormat::kml:
      return "KML";  // writes as it goes; the LIBKML driver holds the whole document in memory
    case ExportFormat::gpx:
      return "GPX";
    case ExportFormat::csv:
      return "CSV";
  }
  return "";
}

// The work file's extension: the one each driver takes for a single file of its format (CSV's
// makes a folder of any other name).
std::string WorkExtension(ExportFormat format) {
  switch (format) {
    case ExportFormat::geoPackage:
      return "gpkg";
    case ExportFormat::geoJson:
      return "geojson";
    case ExportFormat::kml:
      return "kml";
    case ExportFormat::gpx:
      return "gpx";
    case ExportFormat::csv:
      return "csv";
  }
  return "out";
}

void RegisterDrivers() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL's own messages go nowhere while an export runs: the user gets one message of ours.
class QuietGdal {
 public:
  QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
  ~QuietGdal() { CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
};

// The names of a cell in the flat columns: every technology's (radio/cell_values.h), so that a
// serving cell of any of them keeps its values.
constexpr std::string_view kCellNames[] = {
    "tech",    "mcc",      "mnc",     "country_name", "operator_name", "lac",         "tac",      "cell_id",
    "channel", "band",     "bsic",    "rxlevel_dbm",  "rxqual",        "ber_percent", "ta",       "distance_km",
    "psc",     "rscp_dbm", "ecno_db", "pci",          "rsrp_dbm",      "rsrq_db",     "rssi_dbm", "sinr_db"};
// A neighbour's: what a neighbour report of any technology carries (the monitor's CSV has the
// first five).
constexpr std::string_view kNeighbourNames[] = {"channel", "bsic",     "band", "rxlevel_dbm", "cell_id",
                                                "tech",    "mcc",      "mnc",  "lac",         "tac",
                                                "psc",     "rscp_dbm", "pci",  "rsrp_dbm",    "rsrq_db"};
constexpr int kFlatNeighbours = survey::kCycleCells - 1;

OGRFieldType TypeOf(std::string_view name) {
  switch (radio::KindOf(name)) {
    case radio::ValueKind::text:
      return OFTString;
    case radio::ValueKind::whole:
      return name == "cell_id" ? OFTInteger64 : OFTInteger;
    case radio::ValueKind::real:
      return OFTReal;
  }
  return OFTString;
}

struct ColumnDef {
  std::string name;
  OGRFieldType type;
};

// Times are UTC texts ending in "Z" ("2026-12-09T19:48:15.123Z"); the formats with typed
// date-times keep them as such, in UTC.
OGRFieldType TimeType(ExportFormat format) {
  return format == ExportFormat::geoPackage || format == ExportFormat::geoJson || format == ExportFormat::gpx
             ? OFTDateTime
             : OFTString;
}

// KML and GPX show a feature by its name: a Russian text for a person.
bool HasLabel(ExportFormat format) { return format == ExportFormat::kml || format == ExportFormat::gpx; }

std::vector<ColumnDef> CycleColumns(ExportFormat format) {
  std::vector<ColumnDef> defs = {{"n", OFTInteger}, {"time", TimeType(format)}, {"local_time", OFTString}};
  for (const std::string_view name : radio::PositionNames()) {
    // GPX's own time is the point's; the fix's goes as a text among the extensions.
    const OGRFieldType fixTimeType = format == ExportFormat::gpx ? OFTString : TimeType(format);
    defs.push_back({std::string(name), name == "fix_time" ? fixTimeType : TypeOf(name)});
  }
  if (format == ExportFormat::kml) defs.push_back({"name", OFTString});
  for (const std::string_view name : kCellNames) defs.push_back({std::string(name), TypeOf(name)});
  for (int n = 1; n <= kFlatNeighbours; ++n) {
    for (const std::string_view name : kNeighbourNames) {
      defs.push_back({"n" + std::to_string(n) + "_" + std::string(name), TypeOf(name)});
    }
  }
  return defs;
}

// A row of cells of a cycle, one per cell, in the GeoPackage's layer "cells".
std::vector<ColumnDef> CellColumns(ExportFormat format) {
  std::vector<ColumnDef> defs = {
      {"n", OFTInteger}, {"time", TimeType(format)}, {"role", OFTString}, {"rank", OFTInteger}};
  for (const std::string_view name : kCellNames) defs.push_back({std::string(name), TypeOf(name)});
  return defs;
}

std::vector<ColumnDef> EventColumns(ExportFormat format) {
  std::vector<ColumnDef> defs = {{"n", OFTInteger},         {"time", TimeType(format)}, {"local_time", OFTString},
                                 {"kind", OFTString},       {"from", OFTString},        {"to", OFTString},
                                 {"threshold", OFTInteger}, {"latitude_deg", OFTReal},  {"longitude_deg", OFTReal}};
  if (HasLabel(format)) defs.push_back({"name", OFTString});
  if (format == ExportFormat::gpx) defs.push_back({"type", OFTString});
  return defs;
}

// A neighbour slot the report left empty is no cell.
bool Reported(const radio::Cell& cell) { return cell.channel || cell.cellId || cell.LevelDbm() || cell.PhysicalId(); }

radio::Value Text(std::string text) { return text.empty() ? radio::Value{} : radio::Value{std::move(text)}; }

// The cycle's instant in UTC, when its time record has a zone.
radio::Value UtcTimeOf(const SurveyCycle& cycle) {
  if (!cycle.time) return {};
  const auto time = survey::ToTimePoint(*cycle.time);
  return time ? Text(survey::FormatUtcTime(*time)) : radio::Value{};
}

// What a person reads beside a cycle's point: "-63 dBm, сота 69777, канал 121" (Windows-1251).
std::string CycleLabel(const radio::Cycle& cycle) {
  if (!cycle.serving) return std::string("нет данных о соте"_cp1251);
  const radio::Cell& cell = *cycle.serving;
  std::string label;
  const auto add = [&label](const std::string& part) { label += (label.empty() ? "" : ", ") + part; };
  if (const auto level = cell.LevelDbm()) add(radio::NumberText(*level) + " dBm");
  if (cell.cellId) add(std::string("сота "_cp1251) + std::to_string(*cell.cellId));
  if (cell.channel) add(std::string("канал "_cp1251) + std::to_string(*cell.channel));
  return label.empty() ? std::string("нет данных о соте"_cp1251) : label;
}

// One layer's features, written column by column in the order of their definitions.
class LayerWriter {
 public:
  bool Create(GDALDataset& dataset, const char* name, bool points, CPLStringList options,
              const std::vector<ColumnDef>& defs, bool decimalComma) {
    decimalComma_ = decimalComma;
    OGRSpatialReference wgs84;
    wgs84.SetWellKnownGeogCS("WGS84");
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    layer_ = dataset.CreateLayer(name, points ? &wgs84 : nullptr, points ? wkbPoint : wkbNone, options.List());
    if (layer_ == nullptr) return false;
    for (const ColumnDef& def : defs) {
      int index = layer_->GetLayerDefn()->GetFieldIndex(def.name.c_str());
      if (index < 0) {
        // A spreadsheet of the Russian locale reads "5,5" as a number, never "5.5".
        OGRFieldDefn field(def.name.c_str(), decimalComma && def.type == OFTReal ? OFTString : def.type);
        if (layer_->CreateField(&field) != OGRERR_NONE) return false;
        index = layer_->GetLayerDefn()->GetFieldIndex(def.name.c_str());
        if (index < 0) return false;
      }
      index_.push_back(index);
    }
    feature_.reset(OGRFeature::CreateFeature(layer_->GetLayerDefn()));
    return feature_ != nullptr;
  }

  OGRFeature& Start() {
    feature_->Reset();
    feature_->SetFID(OGRNullFID);
    return *feature_;
  }
  // Sets the row's values (the columns' order) and the point, and writes the feature.
  bool Finish(const std::vector<radio::Value>& row, const std::optional<radio::Position>& position) {
    for (std::size_t i = 0; i < row.size() && i < index_.size(); ++i) Set(index_[i], row[i]);
    // Null rather than absent, so that every format lists every column.
    for (const int field : index_) {
      if (!feature_->IsFieldSet(field)) feature_->SetFieldNull(field);
    }
    if (position && layer_->GetGeomType() != wkbNone) {
      feature_->SetGeometryDirectly(new OGRPoint(position->longitude, position->latitude));
    }
    return layer_->CreateFeature(feature_.get()) == OGRERR_NONE;
  }
  OGRLayer* Layer() const { return layer_; }
  // Lets go of the feature before its dataset closes.
  void Release() {
    feature_.reset();
    layer_ = nullptr;
  }

 private:
  void Set(int index, const radio::Value& value) {
    if (const auto* whole = std::get_if<std::int64_t>(&value)) feature_->SetField(index, static_cast<GIntBig>(*whole));
    if (const auto* real = std::get_if<double>(&value)) {
      if (decimalComma_) {
        // The digits GDAL writes for the standard dialect, with a comma.
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.15g", *real);
        std::string text = digits;
        std::replace(text.begin(), text.end(), '.', ',');
        feature_->SetField(index, text.c_str());
      } else {
        feature_->SetField(index, *real);
      }
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
      if (feature_->GetFieldDefnRef(index)->GetType() == OFTDateTime) {
        SetUtcTime(index, *text);
      } else {
        feature_->SetField(index, platform::Cp1251ToUtf8(*text).c_str());
      }
    }
  }
  void SetUtcTime(int index, const std::string& text) {
    const auto t = survey::ParseIsoTime(text);
    if (!t) return;
    // GDAL's zone flag 100: UTC.
    feature_->SetField(index, t->year, t->month, t->day, t->hour, t->minute,
                       static_cast<float>(t->second) + static_cast<float>(t->millisecond) / 1000.0f, 100);
  }

  OGRLayer* layer_ = nullptr;
  std::unique_ptr<OGRFeature> feature_;
  std::vector<int> index_;
  bool decimalComma_ = false;
};

// The row of an event point under EventColumns.
std::vector<radio::Value> EventRow(const EventPoint& point, ExportFormat format) {
  const history::CellEvent& e = point.event;
  std::vector<radio::Value> row = {
      static_cast<std::int64_t>(point.cycle),
      e.time == std::chrono::system_clock::time_point{} ? radio::Value{} : Text(survey::FormatUtcTime(e.time)),
      Text(point.localTime),
      std::string(history::EventKey(e.kind)),
      Text(e.from),
      Text(e.to),
      e.kind == history::EventKind::levelLow || e.kind == history::EventKind::levelRestored
          ? radio::Value{static_cast<std::int64_t>(e.threshold)}
          : radio::Value{},
  };
  const auto position = radio::PositionValues(point.fix);
  row.push_back(position[0].value);
  row.push_back(position[1].value);
  if (HasLabel(format)) row.push_back(history::EventText(e));
  if (format == ExportFormat::gpx) row.push_back(std::string(history::EventKey(e.kind)));
  return row;
}

CPLStringList CsvLayerOptions(CsvDialect dialect) {
  CPLStringList options;
  options.SetNameValue("CREATE_CSVT", "NO");
  options.SetNameValue("STRING_QUOTING", "IF_NEEDED");
  if (dialect == CsvDialect::excelRu) {
    options.SetNameValue("SEPARATOR", "SEMICOLON");
    options.SetNameValue("WRITE_BOM", "YES");
  }
  return options;
}

GDALDataset* CreateDataset(ExportFormat format, const std::string& gdalPath, const CPLStringList& options) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(DriverName(format));
  if (driver == nullptr) return nullptr;
  return driver->Create(gdalPath.c_str(), 0, 0, 0, GDT_Unknown, options.List());
}

// The events of a GeoJSON or CSV export, a file of their own.
class EventsFile {
 public:
  EventsFile(ExportFormat format, CsvDialect dialect, std::string work)
      : format_(format), dialect_(dialect), path_(std::move(work)), folder_(path_.substr(0, path_.rfind('/'))) {}
  ~EventsFile() {
    if (dataset_) GDALClose(GDALDataset::ToHandle(dataset_.release()));
    ForgetFailuresIn(folder_);
  }
  EventsFile(const EventsFile&) = delete;
  EventsFile& operator=(const EventsFile&) = delete;

  bool Write(const std::vector<EventPoint>& events) {
    CPLStringList layerOptions;
    if (format_ == ExportFormat::csv) layerOptions = CsvLayerOptions(dialect_);
    if (format_ == ExportFormat::geoJson) layerOptions.SetNameValue("RFC7946", "YES");
    dataset_.reset(CreateDataset(format_, CheckedName(path_), {}));
    if (!dataset_) return false;
    {
      LayerWriter layer;
      if (!layer.Create(*dataset_, "events", format_ != ExportFormat::csv, layerOptions, EventColumns(format_),
                        format_ == ExportFormat::csv && dialect_ == CsvDialect::excelRu)) {
        return false;
      }
      for (const EventPoint& point : events) {
        layer.Start();
        if (!layer.Finish(EventRow(point, format_), point.fix)) return false;
      }
    }
    CPLErrorReset();
    GDALClose(GDALDataset::ToHandle(dataset_.release()));
    return CPLGetLastErrorType() < CE_Failure && !WriteFailedIn(folder_);
  }
  const std::string& File() const { return path_; }

 private:
  ExportFormat format_;
  CsvDialect dialect_;
  std::string path_;
  std::string folder_;
  std::unique_ptr<GDALDataset> dataset_;
};

class FeatureWriter {
 public:
  // work: the file to write, in the export's own folder. The text formats go through the
  // checked file system, so that a failed write is known; GeoPackage's SQLite reports its own.
  // A KML file is first written beside it and then copied in, finished (export/kml_styles.h).
  FeatureWriter(const ExportOptions& options, std::string work)
      : format_(options.format),
        dialect_(options.csvDialect),
        path_(format_ == ExportFormat::kml ? work + ".part" : work),
        finalPath_(std::move(work)),
        folder_(finalPath_.substr(0, finalPath_.rfind('/'))),
        gdalPath_(format_ == ExportFormat::geoPackage ? path_ : CheckedName(path_)),
        columns_(CycleColumns(format_)) {}
  ~FeatureWriter() { Discard(); }
  FeatureWriter(const FeatureWriter&) = delete;
  FeatureWriter& operator=(const FeatureWriter&) = delete;

  // GPX: the events go first, as waypoints, since a GPX file has its waypoints before its tracks.
  bool Open(const std::vector<EventPoint>* gpxEvents) {
    CPLStringList datasetOptions;
    if (format_ == ExportFormat::gpx) datasetOptions.SetNameValue("GPX_USE_EXTENSIONS", "YES");
    if (format_ == ExportFormat::kml) datasetOptions.SetNameValue("NameField", "name");
    dataset_.reset(CreateDataset(format_, gdalPath_, datasetOptions));
    if (!dataset_) return false;
    if (format_ == ExportFormat::gpx && gpxEvents != nullptr && !WriteEvents(*gpxEvents)) return false;

    CPLStringList layerOptions;
    const char* layerName = "cycles";
    switch (format_) {
      case ExportFormat::geoJson:
        layerOptions.SetNameValue("RFC7946", "YES");
        layerOptions.SetNameValue("COORDINATE_PRECISION", "7");
        break;
      case ExportFormat::gpx:
        layerName = "track_points";  // a drive is a track: one segment per stretch with positions
        break;
      case ExportFormat::csv:
        layerOptions = CsvLayerOptions(dialect_);  // the position is in the latitude and longitude columns
        break;
      default:
        break;
    }
    if (!cycles_.Create(*dataset_, layerName, format_ != ExportFormat::csv, layerOptions, columns_,
                        format_ == ExportFormat::csv && dialect_ == CsvDialect::excelRu)) {
      return false;
    }
    if (format_ == ExportFormat::geoPackage &&
        !cells_.Create(*dataset_, "cells", true, {}, CellColumns(format_), false)) {
      return false;
    }
    if (format_ == ExportFormat::gpx) {
      OGRFeatureDefn* defn = cycles_.Layer()->GetLayerDefn();
      gpxEle_ = defn->GetFieldIndex("ele");
      gpxFix_ = defn->GetFieldIndex("fix");
      gpxTrack_ = defn->GetFieldIndex("track_fid");
      gpxSegment_ = defn->GetFieldIndex("track_seg_id");
    }
    if (format_ == ExportFormat::geoPackage) inTransaction_ = dataset_->StartTransaction() == OGRERR_NONE;
    return true;
  }

  // False when the feature could not be written.
  bool Write(const SurveyCycle& cycle) {
    if (format_ == ExportFormat::gpx && !cycle.fix) {
      gapBefore_ = true;  // GPX has no point without a position; the track breaks here
      return true;
    }
    const radio::Cycle typed = survey::CycleOfLog(cycle);
    row_.clear();
    row_.push_back(static_cast<std::int64_t>(cycle.number));
    row_.push_back(UtcTimeOf(cycle));
    row_.push_back(cycle.time ? Text(survey::FormatIsoTime(*cycle.time)) : radio::Value{});
    for (radio::NamedValue& value : radio::PositionValues(typed.position)) row_.push_back(std::move(value.value));
    if (format_ == ExportFormat::kml) row_.push_back(CycleLabel(typed));
    for (const std::string_view name : kCellNames) {
      row_.push_back(typed.serving ? radio::CellValue(*typed.serving, name) : radio::Value{});
    }
    for (std::size_t n = 0; n < static_cast<std::size_t>(kFlatNeighbours); ++n) {
      for (const std::string_view name : kNeighbourNames) {
        const bool reported = n < typed.neighbours.size() && Reported(typed.neighbours[n]);
        row_.push_back(reported ? radio::CellValue(typed.neighbours[n], name) : radio::Value{});
      }
    }
    OGRFeature& f = cycles_.Start();
    if (format_ == ExportFormat::gpx && cycle.fix) SetGpxPoint(f, *cycle.fix);
    if (!cycles_.Finish(row_, typed.position)) return false;
    if (format_ == ExportFormat::geoPackage && !WriteCells(typed, row_[1])) return false;
    ++written_;
    if (cycle.fix) ++placed_;
    if (inTransaction_ && written_ % kFeaturesPerTransaction == 0) {
      if (dataset_->CommitTransaction() != OGRERR_NONE) return false;
      inTransaction_ = dataset_->StartTransaction() == OGRERR_NONE;
    }
    return true;
  }

  // The events of GeoPackage and KML, a layer after the cycles; GPX's, waypoints before them.
  bool WriteEvents(const std::vector<EventPoint>& events) {
    LayerWriter layer;
    const char* name = format_ == ExportFormat::gpx ? "waypoints" : "events";
    if (!layer.Create(*dataset_, name, true, {}, EventColumns(format_), false)) return false;
    for (const EventPoint& point : events) {
      if (format_ == ExportFormat::gpx && !point.fix) continue;  // a waypoint is a place
      layer.Start();
      if (!layer.Finish(EventRow(point, format_), point.fix)) return false;
      ++events_;
    }
    return true;
  }

  // Finishes the file with the events (GeoPackage, KML); false when a write or the closing failed.
  bool Close(const std::vector<EventPoint>& events) {
    if (!dataset_) return false;
    bool ok = true;
    if (inTransaction_) ok = dataset_->CommitTransaction() == OGRERR_NONE;
    inTransaction_ = false;
    if (format_ == ExportFormat::geoPackage || format_ == ExportFormat::kml) ok = ok && WriteEvents(events);
    if (format_ == ExportFormat::geoPackage) ok = ok && AddLevelStyle(*dataset_, "cycles");
    cycles_.Release();
    cells_.Release();
    // GeoPackage leaves a failure of its last writes or of the closing as GDAL's last error.
    CPLErrorReset();
    GDALClose(GDALDataset::ToHandle(dataset_.release()));
    ok = ok && CPLGetLastErrorType() < CE_Failure && !WriteFailedIn(folder_);
    if (format_ == ExportFormat::kml) ok = ok && FinishKml(path_, finalPath_);
    return ok;
  }

  // Closes without finishing; the files are left to the export's folder, which goes.
  void Discard() {
    cycles_.Release();
    cells_.Release();
    inTransaction_ = false;
    if (dataset_) GDALClose(GDALDataset::ToHandle(dataset_.release()));
    ForgetFailuresIn(folder_);
  }

  const std::string& File() const { return finalPath_; }
  long Written() const { return written_; }
  long Placed() const { return placed_; }
  long Events() const { return events_; }

 private:
  bool WriteCells(const radio::Cycle& cycle, const radio::Value& time) {
    const auto write = [&](const radio::Cell& cell, const char* role, std::size_t rank) {
      std::vector<radio::Value> row = {static_cast<std::int64_t>(cycle.n), time, std::string(role),
                                       static_cast<std::int64_t>(rank)};
      for (const std::string_view name : kCellNames) row.push_back(radio::CellValue(cell, name));
      cells_.Start();
      return cells_.Finish(row, cycle.position);
    };
    if (cycle.serving && !write(*cycle.serving, "serving", 0)) return false;
    for (std::size_t i = 0; i < cycle.secondary.size(); ++i) {
      if (!write(cycle.secondary[i], "secondary", i + 1)) return false;
    }
    for (std::size_t i = 0; i < cycle.neighbours.size(); ++i) {
      if (!Reported(cycle.neighbours[i])) continue;
      if (!write(cycle.neighbours[i], "neighbour", i + 1)) return false;
    }
    return true;
  }
  void SetGpxPoint(OGRFeature& f, const gps::Fix& fix) {
    if (gpxEle_ >= 0 && std::isfinite(fix.altitude)) f.SetField(gpxEle_, fix.altitude);
    if (gpxFix_ >= 0) f.SetField(gpxFix_, fix.mode == 3 ? "3d" : "2d");
    if (gapBefore_ && written_ > 0) ++segment_;
    gapBefore_ = false;
    if (gpxTrack_ >= 0) f.SetField(gpxTrack_, 0);
    if (gpxSegment_ >= 0) f.SetField(gpxSegment_, segment_);
  }

  ExportFormat format_;
  CsvDialect dialect_;
  std::string path_;
  std::string finalPath_;
  std::string folder_;
  std::string gdalPath_;
  std::vector<ColumnDef> columns_;
  std::unique_ptr<GDALDataset> dataset_;
  LayerWriter cycles_;
  LayerWriter cells_;
  std::vector<radio::Value> row_;
  int gpxEle_ = -1, gpxFix_ = -1, gpxTrack_ = -1, gpxSegment_ = -1;
  int segment_ = 0;
  bool gapBefore_ = false;
  bool inTransaction_ = false;
  long written_ = 0;
  long placed_ = 0;
  long events_ = 0;
};

// The events of a log, read ahead of its cycles (GPX wants them first).
std::vector<EventPoint> ReadEvents(const std::string& logName, bool& detected) {
  EventCollector collector;
  const survey::CycleReadResult read = survey::ReadLogCycles(logName, [&collector](const SurveyCycle& cycle) {
    collector.Add(cycle);
    return true;
  });
  collector.Finish(read.trailingEvents);
  detected = collector.Detected();
  return collector.Events();
}

}  // namespace

ExportResult RunExport(const std::string& logName, const std::string& outName, const ExportOptions& options) {
  ExportResult result;
  // The log must open before anything is created.
  {
    const platform::ReadOnlyFile probe(logName);
    if (probe.Fd() < 0) {
      result.error = gsmlog::OpenFailedMessage(logName);
      return result;
    }
  }
  std::optional<OutputFile> output = OutputFile::Prepare(outName, logName, options.overwrite, result.error);
  if (!output) return result;
  // GeoJSON and CSV have one layer to a file: the events go into a second one.
  const bool eventsApart = options.format == ExportFormat::geoJson || options.format == ExportFormat::csv;
  const std::string eventsName = EventsFileName(outName);
  std::optional<OutputFile> eventsOutput =
      eventsApart ? OutputFile::Prepare(eventsName, logName, options.overwrite, result.error) : std::nullopt;
  if (eventsApart && !eventsOutput) return result;

  RegisterDrivers();
  const QuietGdal quiet;
  std::vector<EventPoint> gpxEvents;
  if (options.format == ExportFormat::gpx) gpxEvents = ReadEvents(logName, result.eventsDetected);
  FeatureWriter writer(options, output->Work(WorkExtension(options.format)));
  if (!writer.Open(&gpxEvents)) {
    result.error = CannotCreateMessage(outName);
    return result;
  }
  EventCollector events;
  bool writeFailed = false;
  long cyclesRead = 0;
  const survey::CycleReadResult read = survey::ReadLogCycles(
      logName,
      [&](const SurveyCycle& cycle) {
        ++cyclesRead;
        events.Add(cycle);
        writeFailed = !writer.Write(cycle);
        return !writeFailed;
      },
      options.progress);
  events.Finish(read.trailingEvents);
  result.cancelled = read.stopped && !writeFailed;
  if (result.cancelled) return result;
  if (writeFailed) {
    result.error = CannotWriteMessage(outName);
    return result;
  }
  // A log of which no cycle could be read gives no file, damaged or not.
  if ((!read.ok && !read.damaged) || (read.damaged && cyclesRead == 0)) {
    result.damaged = read.damaged;
    result.error = read.error;
    return result;
  }
  if (!writer.Close(events.Events())) {
    result.error = CannotWriteMessage(outName);
    return result;
  }
  result.events = writer.Events();
  if (options.format != ExportFormat::gpx) result.eventsDetected = events.Detected();
  if (eventsApart) {
    EventsFile eventsFile(options.format, options.csvDialect, eventsOutput->Work(WorkExtension(options.format)));
    if (!eventsFile.Write(events.Events())) {
      result.error = CannotWriteMessage(eventsName);
      return result;
    }
    result.events = static_cast<long>(events.Events().size());
    if (!output->Commit(writer.File(), result.error)) return result;
    if (!eventsOutput->Commit(eventsFile.File(), result.error)) return result;
  } else if (!output->Commit(writer.File(), result.error)) {
    return result;
  }
  result.cycles = writer.Written();
  result.placed = writer.Placed();
  result.verdict = read.verdict;
  result.damaged = read.damaged;
  result.ok = read.ok;
  if (read.damaged) result.error = read.error;
  return result;
}

}  // namespace gsmexport

// The module's one entry, looked up by the programs that load it (see export_module.h).
extern "C" __attribute__((visibility("default"))) void gsmexport_run(const std::string& logName,
                                                                     const std::string& outName,
                                                                     const gsmexport::ExportOptions& options,
                                                                     gsmexport::ExportResult& result) {
  result = gsmexport::RunExport(logName, outName, options);
}
