#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "export/checked_files.h"
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

// The attributes of a cycle, in their order in the output.
enum Field {
  fCycle,
  fTime,
  fLatitude,
  fLongitude,
  fAltitude,
  fGpsMode,
  fHorizontalError,
  fFixTime,
  fCells,  // then the serving cell's values and each neighbour's, by the names of radio/cell_values.h
};
// A GSM cell's values, then five columns for each neighbour; FieldDefs names them.
constexpr int kFieldCount = fCells + 15 + 5 * (survey::kCycleCells - 1);

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

struct FieldDef {
  std::string name;
  OGRFieldType type;
};

std::vector<FieldDef> FieldDefs(ExportFormat format) {
  // CSV and KML keep times as ISO 8601 texts (their drivers write date-times in a form of their
  // own), and so does GPX but for its own point time.
  const bool isoText = format == ExportFormat::csv || format == ExportFormat::kml;
  const OGRFieldType timeType = isoText ? OFTString : OFTDateTime;
  const OGRFieldType fixTimeType = isoText || format == ExportFormat::gpx ? OFTString : OFTDateTime;
  std::vector<FieldDef> defs = {
      {"n", OFTInteger},       {"time", timeType},       {"latitude_deg", OFTReal},       {"longitude_deg", OFTReal},
      {"altitude_m", OFTReal}, {"fix_mode", OFTInteger}, {"horizontal_error_m", OFTReal}, {"fix_time", fixTimeType},
  };
  for (const std::string_view name : radio::CellValueNames(radio::Tech::gsm)) {
    defs.push_back({std::string(name), TypeOf(name)});
  }
  for (int n = 1; n < survey::kCycleCells; ++n) {
    for (const std::string_view name : radio::NeighbourColumnNames()) {
      defs.push_back({"n" + std::to_string(n) + "_" + std::string(name), TypeOf(name)});
    }
  }
  return defs;
}

class FeatureWriter {
 public:
  // work: the file to write, in the export's own folder. The text formats go through the
  // checked file system, so that a failed write is known; GeoPackage's SQLite reports its own.
  // A KML file is first written beside it and then copied in with its level styles.
  FeatureWriter(ExportFormat format, std::string work)
      : format_(format),
        path_(format == ExportFormat::kml ? work + ".part" : work),
        finalPath_(std::move(work)),
        folder_(finalPath_.substr(0, finalPath_.rfind('/'))),
        gdalPath_(format == ExportFormat::geoPackage ? path_ : CheckedName(path_)) {}
  ~FeatureWriter() { Discard(); }
  FeatureWriter(const FeatureWriter&) = delete;
  FeatureWriter& operator=(const FeatureWriter&) = delete;

  bool Open() {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(DriverName(format_));
    if (driver == nullptr) return false;
    CPLStringList datasetOptions;
    if (format_ == ExportFormat::gpx) datasetOptions.SetNameValue("GPX_USE_EXTENSIONS", "YES");
    dataset_.reset(driver->Create(gdalPath_.c_str(), 0, 0, 0, GDT_Unknown, datasetOptions.List()));
    if (!dataset_) return false;

    OGRSpatialReference wgs84;
    wgs84.SetWellKnownGeogCS("WGS84");
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    CPLStringList layerOptions;
    const char* layerName = "cycles";
    OGRwkbGeometryType geometry = wkbPoint;
    switch (format_) {
      case ExportFormat::geoJson:
        layerOptions.SetNameValue("RFC7946", "YES");
        layerOptions.SetNameValue("COORDINATE_PRECISION", "7");
        break;
      case ExportFormat::gpx:
        layerName = "track_points";  // a drive is a track: one segment per stretch with positions
        break;
      case ExportFormat::csv:
        geometry = wkbNone;  // the position is in the latitude and longitude columns
        layerOptions.SetNameValue("CREATE_CSVT", "NO");
        layerOptions.SetNameValue("STRING_QUOTING", "IF_NEEDED");
        break;
      default:
        break;
    }
    layer_ = dataset_->CreateLayer(layerName, geometry == wkbNone ? nullptr : &wgs84, geometry, layerOptions.List());
    if (layer_ == nullptr) return false;
    const auto defs = FieldDefs(format_);
    if (defs.size() != static_cast<std::size_t>(kFieldCount)) return false;
    for (int i = 0; i < kFieldCount; ++i) {
      OGRFeatureDefn* defn = layer_->GetLayerDefn();
      index_[i] = defn->GetFieldIndex(defs[static_cast<std::size_t>(i)].name.c_str());
      if (index_[i] >= 0) continue;
      OGRFieldDefn field(defs[static_cast<std::size_t>(i)].name.c_str(), defs[static_cast<std::size_t>(i)].type);
      if (layer_->CreateField(&field) != OGRERR_NONE) return false;
      index_[i] = layer_->GetLayerDefn()->GetFieldIndex(defs[static_cast<std::size_t>(i)].name.c_str());
      if (index_[i] < 0) return false;
    }
    if (format_ == ExportFormat::gpx) {
      OGRFeatureDefn* defn = layer_->GetLayerDefn();
      gpxEle_ = defn->GetFieldIndex("ele");
      gpxFix_ = defn->GetFieldIndex("fix");
      gpxTrack_ = defn->GetFieldIndex("track_fid");
      gpxSegment_ = defn->GetFieldIndex("track_seg_id");
    }
    feature_.reset(OGRFeature::CreateFeature(layer_->GetLayerDefn()));
    if (format_ == ExportFormat::geoPackage) inTransaction_ = dataset_->StartTransaction() == OGRERR_NONE;
    return feature_ != nullptr;
  }

  // False when the feature could not be written.
  bool Write(const SurveyCycle& cycle) {
    if (format_ == ExportFormat::gpx && !cycle.fix) {
      gapBefore_ = true;  // GPX has no point without a position; the track breaks here
      return true;
    }
    OGRFeature& f = *feature_;
    f.Reset();
    f.SetFID(OGRNullFID);
    f.SetField(index_[fCycle], static_cast<GIntBig>(cycle.number));
    if (cycle.time) SetTime(fTime, *cycle.time);
    if (cycle.fix) SetFix(*cycle.fix);
    const radio::Cycle typed = survey::CycleOfLog(cycle);
    int column = fCells;
    for (const std::string_view name : radio::CellValueNames(radio::Tech::gsm)) {
      SetValue(column++, typed.serving ? radio::CellValue(*typed.serving, name) : radio::Value{});
    }
    for (std::size_t n = 0; n + 1 < survey::kCycleCells; ++n) {
      for (const std::string_view name : radio::NeighbourColumnNames()) {
        SetValue(column++, n < typed.neighbours.size() ? radio::CellValue(typed.neighbours[n], name) : radio::Value{});
      }
    }
    // Null rather than absent, so that every format lists every column.
    for (const int field : index_) {
      if (!f.IsFieldSet(field)) f.SetFieldNull(field);
    }
    if (layer_->CreateFeature(&f) != OGRERR_NONE) return false;
    ++written_;
    if (cycle.fix) ++placed_;
    if (inTransaction_ && written_ % kFeaturesPerTransaction == 0) {
      if (dataset_->CommitTransaction() != OGRERR_NONE) return false;
      inTransaction_ = dataset_->StartTransaction() == OGRERR_NONE;
    }
    return true;
  }

  // Finishes the file; false when a write or the closing failed.
  bool Close() {
    if (!dataset_) return false;
    bool ok = true;
    if (inTransaction_) ok = dataset_->CommitTransaction() == OGRERR_NONE;
    inTransaction_ = false;
    feature_.reset();
    // GeoPackage leaves a failure of its last writes or of the closing as GDAL's last error.
    CPLErrorReset();
    GDALClose(GDALDataset::ToHandle(dataset_.release()));
    ok = ok && CPLGetLastErrorType() < CE_Failure && !WriteFailedIn(folder_);
    if (format_ == ExportFormat::kml) ok = ok && AddLevelStyles(path_, finalPath_);
    return ok;
  }

  // Closes without finishing; the files are left to the export's folder, which goes.
  void Discard() {
    feature_.reset();
    inTransaction_ = false;
    if (dataset_) GDALClose(GDALDataset::ToHandle(dataset_.release()));
    ForgetFailuresIn(folder_);
  }

  const std::string& File() const { return finalPath_; }
  long Written() const { return written_; }
  long Placed() const { return placed_; }

 private:
  void SetValue(int field, const radio::Value& value) {
    const int index = index_[field];
    if (const auto* whole = std::get_if<std::int64_t>(&value)) feature_->SetField(index, static_cast<GIntBig>(*whole));
    if (const auto* real = std::get_if<double>(&value)) feature_->SetField(index, *real);
    if (const auto* text = std::get_if<std::string>(&value)) {
      feature_->SetField(index, platform::Cp1251ToUtf8(*text).c_str());
    }
  }
  void SetTime(int field, const survey::IsoTime& t) {
    if (feature_->GetFieldDefnRef(index_[field])->GetType() == OFTString) {
      feature_->SetField(index_[field], survey::FormatIsoTime(t).c_str());
      return;
    }
    if (format_ == ExportFormat::geoPackage && t.offsetMinutes && !t.utc) {
      // GeoPackage keeps date-times in UTC.
      if (const auto utc = survey::ParseIsoTime(survey::FormatUtcTime(*survey::ToTimePoint(t)))) {
        SetTime(field, *utc);
        return;
      }
    }
    // GDAL's zone flag: 0 unknown, 100 UTC, 100 + quarter hours east of it.
    const int zone = t.offsetMinutes ? 100 + *t.offsetMinutes / 15 : 0;
    feature_->SetField(index_[field], t.year, t.month, t.day, t.hour, t.minute,
                       static_cast<float>(t.second) + static_cast<float>(t.millisecond) / 1000.0f, zone);
  }
  void SetFix(const gps::Fix& fix) {
    feature_->SetField(index_[fLatitude], fix.latitude);
    feature_->SetField(index_[fLongitude], fix.longitude);
    if (std::isfinite(fix.altitude)) feature_->SetField(index_[fAltitude], fix.altitude);
    feature_->SetField(index_[fGpsMode], fix.mode);
    if (std::isfinite(fix.horizontalError)) feature_->SetField(index_[fHorizontalError], fix.horizontalError);
    if (fix.time != std::chrono::system_clock::time_point{}) {
      if (const auto t = survey::ParseIsoTime(survey::FormatUtcTime(fix.time))) SetTime(fFixTime, *t);
    }
    if (layer_->GetGeomType() != wkbNone) feature_->SetGeometryDirectly(new OGRPoint(fix.longitude, fix.latitude));
    if (format_ == ExportFormat::gpx) {
      if (gpxEle_ >= 0 && std::isfinite(fix.altitude)) feature_->SetField(gpxEle_, fix.altitude);
      if (gpxFix_ >= 0) feature_->SetField(gpxFix_, fix.mode == 3 ? "3d" : "2d");
      if (gapBefore_ && written_ > 0) ++segment_;
      gapBefore_ = false;
      if (gpxTrack_ >= 0) feature_->SetField(gpxTrack_, 0);
      if (gpxSegment_ >= 0) feature_->SetField(gpxSegment_, segment_);
    }
  }
  ExportFormat format_;
  std::string path_;
  std::string finalPath_;
  std::string folder_;
  std::string gdalPath_;
  std::unique_ptr<GDALDataset> dataset_;
  OGRLayer* layer_ = nullptr;
  std::unique_ptr<OGRFeature> feature_;
  int index_[kFieldCount] = {};
  int gpxEle_ = -1, gpxFix_ = -1, gpxTrack_ = -1, gpxSegment_ = -1;
  int segment_ = 0;
  bool gapBefore_ = false;
  bool inTransaction_ = false;
  long written_ = 0;
  long placed_ = 0;
};

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

  RegisterDrivers();
  const QuietGdal quiet;
  FeatureWriter writer(options.format, output->Work(WorkExtension(options.format)));
  if (!writer.Open()) {
    result.error = CannotCreateMessage(outName);
    return result;
  }
  bool writeFailed = false;
  long cyclesRead = 0;
  const survey::CycleReadResult read = survey::ReadLogCycles(
      logName,
      [&](const SurveyCycle& cycle) {
        ++cyclesRead;
        writeFailed = !writer.Write(cycle);
        return !writeFailed;
      },
      options.progress);
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
  if (!writer.Close()) {
    result.error = CannotWriteMessage(outName);
    return result;
  }
  if (!output->Commit(writer.File(), result.error)) return result;
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
