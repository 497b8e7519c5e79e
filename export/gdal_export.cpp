#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "export/kml_styles.h"
#include "export/log_export.h"
#include "log/log_viewer.h"
#include "platform/file_name.h"
#include "platform/read_only_file.h"
#include "platform/text_encoding.h"

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

std::optional<long long> IntegerOf(std::string_view text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A value text with a decimal comma ("0,57") or point.
std::optional<double> RealOf(std::string_view text) {
  std::string copy(text);
  std::replace(copy.begin(), copy.end(), ',', '.');
  double value = 0;
  const auto [end, error] = std::from_chars(copy.data(), copy.data() + copy.size(), value);
  if (copy.empty() || error != std::errc{} || end != copy.data() + copy.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
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
  fCountry,
  fOperator,
  fLac,
  fCellId,
  fBsic,
  fChannel,
  fBand,
  fRxLevel,
  fRxQuality,
  fBitError,
  fDistance,
  fNeighbours,  // then four per neighbour: channel, BSIC, level, band
};
constexpr int kNeighbourFields = 4;
constexpr int kFieldCount = fNeighbours + kNeighbourFields * (survey::kCycleCells - 1);

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
      {"cycle", OFTInteger},  {"time", timeType},       {"latitude", OFTReal},    {"longitude", OFTReal},
      {"altitude", OFTReal},  {"gps_mode", OFTInteger}, {"h_error", OFTReal},     {"fix_time", fixTimeType},
      {"country", OFTString}, {"operator", OFTString},  {"lac", OFTInteger},      {"cell_id", OFTInteger},
      {"bsic", OFTString},    {"channel", OFTInteger},  {"band", OFTString},      {"rxlevel", OFTInteger},
      {"rxqual", OFTInteger}, {"ber", OFTReal},         {"distance_km", OFTReal},
  };
  for (int n = 1; n < survey::kCycleCells; ++n) {
    const std::string prefix = "n" + std::to_string(n) + "_";
    defs.push_back({prefix + "channel", OFTInteger});
    defs.push_back({prefix + "bsic", OFTString});
    defs.push_back({prefix + "rxlevel", OFTInteger});
    defs.push_back({prefix + "band", OFTString});
  }
  return defs;
}

class FeatureWriter {
 public:
  // path: the output file (UTF-8). A KML file is first written beside it and then copied in
  // with its level styles.
  FeatureWriter(ExportFormat format, std::string path)
      : format_(format), path_(format == ExportFormat::kml ? path + ".part" : path), finalPath_(std::move(path)) {}
  ~FeatureWriter() { Close(); }
  FeatureWriter(const FeatureWriter&) = delete;
  FeatureWriter& operator=(const FeatureWriter&) = delete;

  bool Open() {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(DriverName(format_));
    if (driver == nullptr) return false;
    CPLStringList datasetOptions;
    if (format_ == ExportFormat::gpx) datasetOptions.SetNameValue("GPX_USE_EXTENSIONS", "YES");
    dataset_.reset(driver->Create(path_.c_str(), 0, 0, 0, GDT_Unknown, datasetOptions.List()));
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
    SetText(fCountry, cycle.country);
    SetText(fOperator, cycle.operatorName);
    SetInteger(fLac, cycle.lac);
    const survey::CellTexts& serving = cycle.cells[0];
    SetInteger(fCellId, serving.cell);
    SetText(fBsic, serving.bsic);
    SetInteger(fChannel, serving.channel);
    SetText(fBand, serving.band);
    SetInteger(fRxLevel, serving.level);
    SetInteger(fRxQuality, cycle.quality);
    SetReal(fBitError, cycle.bitError);
    SetReal(fDistance, cycle.distance);
    for (int n = 1; n < survey::kCycleCells; ++n) {
      const survey::CellTexts& cell = cycle.cells[static_cast<std::size_t>(n)];
      const int base = fNeighbours + kNeighbourFields * (n - 1);
      SetInteger(base, cell.channel);
      SetText(base + 1, cell.bsic);
      SetInteger(base + 2, cell.level);
      SetText(base + 3, cell.band);
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

  // Finishes the file; false when the last writes failed.
  bool Close() {
    if (!dataset_) return true;
    bool ok = true;
    if (inTransaction_) ok = dataset_->CommitTransaction() == OGRERR_NONE;
    inTransaction_ = false;
    feature_.reset();
    // A failure of the last writes or of the closing is left as GDAL's last error.
    CPLErrorReset();
    GDALClose(GDALDataset::ToHandle(dataset_.release()));
    ok = ok && CPLGetLastErrorType() < CE_Failure;
    if (format_ == ExportFormat::kml) {
      ok = ok && AddLevelStyles(path_, finalPath_);
      VSIUnlink(path_.c_str());
    }
    return ok;
  }

  void Discard() {
    feature_.reset();
    inTransaction_ = false;
    if (dataset_) GDALClose(GDALDataset::ToHandle(dataset_.release()));
    VSIUnlink(path_.c_str());
    if (finalPath_ != path_) VSIUnlink(finalPath_.c_str());
  }

  long Written() const { return written_; }
  long Placed() const { return placed_; }

 private:
  void SetText(int field, const std::string& cp1251) {
    if (!cp1251.empty()) feature_->SetField(index_[field], platform::Cp1251ToUtf8(cp1251).c_str());
  }
  void SetInteger(int field, const std::string& text) {
    if (const auto value = IntegerOf(text)) feature_->SetField(index_[field], static_cast<GIntBig>(*value));
  }
  void SetReal(int field, const std::string& text) {
    if (const auto value = RealOf(text)) feature_->SetField(index_[field], *value);
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

std::string CannotWrite(const std::string& outName) {
  return std::string("Невозможно записать файл "_cp1251) + platform::FileNameText(outName);
}

}  // namespace

ExportResult RunExport(const std::string& logName, const std::string& outName, const ExportOptions& options) {
  ExportResult result;
  const std::string& path = outName;
  const std::string& logPath = logName;
  struct stat out {};
  if (::stat(path.c_str(), &out) == 0) {
    struct stat log {};
    const bool isLog = ::stat(logPath.c_str(), &log) == 0 && log.st_dev == out.st_dev && log.st_ino == out.st_ino;
    if (!options.overwrite || isLog || !S_ISREG(out.st_mode)) {
      result.error =
          std::string("Файл "_cp1251) + platform::FileNameText(outName) + std::string(" уже существует"_cp1251);
      return result;
    }
  }
  // The log must open before anything is created or replaced.
  {
    const platform::ReadOnlyFile probe(logPath);
    if (probe.Fd() < 0) {
      result.error = gsmlog::OpenFailedMessage(logName);
      return result;
    }
  }

  RegisterDrivers();
  const QuietGdal quiet;
  if (options.overwrite) VSIUnlink(path.c_str());
  FeatureWriter writer(options.format, path);
  if (!writer.Open()) {
    writer.Discard();
    result.error = std::string("Невозможно создать файл "_cp1251) + platform::FileNameText(outName);
    return result;
  }
  bool writeFailed = false;
  const survey::CycleReadResult read = survey::ReadLogCycles(
      logName,
      [&](const SurveyCycle& cycle) {
        writeFailed = !writer.Write(cycle);
        return !writeFailed;
      },
      options.progress);
  if (writeFailed || (read.stopped && !writeFailed) || (!read.ok && !read.damaged)) {
    writer.Discard();
    result.cancelled = read.stopped && !writeFailed;
    if (!result.cancelled) result.error = writeFailed ? CannotWrite(outName) : read.error;
    return result;
  }
  if (!writer.Close()) {
    writer.Discard();
    result.error = CannotWrite(outName);
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
