// Export of a log in every format, read back through GDAL as a GIS tool would: one feature per
// cycle with its values, a point where the cycle has a position and none where it has not; the
// KML's level colours; what is refused and what is left behind.

#include "export/log_export.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "export/kml_styles.h"
#include "export/level_classes.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "tests/log/plain_log.h"
#include "tests/log/temp_dir.h"
#include "tests/support/survey_log.h"

namespace {

using gsmexport::ExportFormat;
using namespace platform::literals;

struct DatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(GDALDataset::ToHandle(dataset)); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

Dataset OpenVector(const std::string& path) {
  return Dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The names in a folder, to see that an export leaves nothing of its own behind.
std::set<std::string> Names(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// Files of the process can grow to at most limit bytes while it lives, as on a full disk: a
// write beyond fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{limit, old_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    GDALAllRegister();
    log_ = dir_.File("drive.log");
    ASSERT_TRUE(testsupport::WriteSurveyLog(log_));
  }

  gsmexport::ExportResult Run(const std::string& out, ExportFormat format, bool overwrite = false) {
    gsmexport::ExportOptions options;
    options.format = format;
    options.overwrite = overwrite;
    return gsmexport::ExportLog(log_, out, options);
  }

  logtest::TempDir dir_;
  std::string log_;
};

TEST_F(Export, EveryFormatHoldsOneFeaturePerCycleWithItsValuesAndPosition) {
  struct Case {
    ExportFormat format;
    const char* file;
    const char* layer;      // nullptr: every layer but the events
    const char* prefix;     // GPX reads its extension fields back with one
    long features;          // GPX has no point without a position
    bool nullGeometryKept;  // the unplaced cycle is a feature without geometry
    bool typedFields;       // numbers read back as numbers
  };
  const Case cases[] = {
      {ExportFormat::geoPackage, "out.gpkg", "cycles", "", 2, true, true},
      {ExportFormat::geoJson, "out.geojson", "cycles", "", 2, true, true},
      {ExportFormat::kml, "out.kml", nullptr, "", 2, true, false},  // a folder (layer) per level class
      {ExportFormat::gpx, "out.gpx", "track_points", "ogr_", 1, false, true},
      {ExportFormat::csv, "out.csv", "out", "", 2, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string out = dir_.File(c.file);
    const auto result = Run(out, c.format);
    ASSERT_TRUE(result.ok) << platform::Cp1251ToUtf8(result.error);
    EXPECT_EQ(result.cycles, c.features);
    EXPECT_EQ(result.placed, 1);
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));

    const Dataset dataset = OpenVector(out);
    ASSERT_TRUE(dataset);
    std::vector<std::unique_ptr<OGRFeature>> features;
    for (int i = 0; i < dataset->GetLayerCount(); ++i) {
      OGRLayer* layer = dataset->GetLayer(i);
      const std::string name = layer->GetName();
      if (c.layer != nullptr ? name != c.layer : name == gsmexport::kEventsCaption) continue;
      layer->ResetReading();
      while (OGRFeature* f = layer->GetNextFeature()) features.emplace_back(f);
    }
    EXPECT_EQ(static_cast<long>(features.size()), c.features);
    std::size_t next = 0;
    // A field's name as the format reads it back.
    const auto F = [&](const char* name) {
      static std::string held;
      held = std::string(c.prefix) + name;
      return held.c_str();
    };
    std::unique_ptr<OGRFeature> first(next < features.size() ? features[next++].release() : nullptr);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetFieldAsInteger(F("n")), 1);
    EXPECT_EQ(first->GetFieldAsInteger(F("mcc")), 250);
    EXPECT_STREQ(first->GetFieldAsString(F("country_name")), "Россия");
    EXPECT_EQ(first->GetFieldAsInteger(F("mnc")), 1);
    EXPECT_STREQ(first->GetFieldAsString(F("operator_name")), "МТС");
    EXPECT_EQ(first->GetFieldAsInteger(F("rxlevel_dbm")), -63);
    EXPECT_EQ(first->GetFieldAsInteger(F("rxqual")), 2);
    EXPECT_DOUBLE_EQ(first->GetFieldAsDouble(F("ber_percent")), 0.57);
    EXPECT_DOUBLE_EQ(first->GetFieldAsDouble(F("distance_km")), 5.5);
    EXPECT_EQ(first->GetFieldAsInteger(F("lac")), 5580);
    EXPECT_EQ(first->GetFieldAsInteger(F("cell_id")), 69777);
    EXPECT_EQ(first->GetFieldAsInteger(F("bsic")), 44);  // NCC 5, BCC 4
    EXPECT_EQ(first->GetFieldAsInteger(F("channel")), 121);
    EXPECT_STREQ(first->GetFieldAsString(F("band")), "GSM900");
    EXPECT_EQ(first->GetFieldAsInteger(F("n6_channel")), 996);
    EXPECT_EQ(first->GetFieldAsInteger(F("n6_bsic")), 48);
    EXPECT_EQ(first->GetFieldAsInteger(F("n6_rxlevel_dbm")), -101);
    EXPECT_STREQ(first->GetFieldAsString(F("n6_band")), "EGSM900");
    // Neighbour 1 did not report (KML: a folder whose points lack a value has no such field).
    const int n1Channel = first->GetFieldIndex(F("n1_channel"));
    EXPECT_TRUE(n1Channel < 0 || std::string(first->GetFieldAsString(n1Channel)).empty());
    EXPECT_DOUBLE_EQ(first->GetFieldAsDouble(F("latitude_deg")), 55.7558);
    EXPECT_DOUBLE_EQ(first->GetFieldAsDouble(F("longitude_deg")), 37.6173);
    EXPECT_DOUBLE_EQ(first->GetFieldAsDouble(F("altitude_m")), 150.2);
    EXPECT_EQ(first->GetFieldAsInteger(F("fix_mode")), 3);
    EXPECT_DOUBLE_EQ(first->GetFieldAsDouble(F("horizontal_error_m")), 4.5);
    const std::string fixTime = first->GetFieldAsString(F("fix_time"));
    EXPECT_TRUE(fixTime == "2026-12-09T19:48:14.000Z" || fixTime == "2026/12/09 19:48:14+00") << fixTime;
    if (c.format != ExportFormat::csv) {
      const OGRGeometry* point = first->GetGeometryRef();
      ASSERT_NE(point, nullptr);
      ASSERT_EQ(wkbFlatten(point->getGeometryType()), wkbPoint);
      EXPECT_NEAR(point->toPoint()->getX(), 37.6173, 1e-7);
      EXPECT_NEAR(point->toPoint()->getY(), 55.7558, 1e-7);
    }
    if (c.typedFields) {
      EXPECT_EQ(first->GetFieldDefnRef(first->GetFieldIndex(F("rxlevel_dbm")))->GetType(), OFTInteger);
      // The cycle's instant, whatever zone it is written in.
      int y, mo, d, h, mi, tz;
      float s;
      ASSERT_TRUE(first->GetFieldAsDateTime(first->GetFieldIndex("time"), &y, &mo, &d, &h, &mi, &s, &tz));
      const int minutes = h * 60 + mi - (tz >= 100 ? (tz - 100) * 15 : 0);
      EXPECT_EQ(std::make_tuple(y, mo, d, minutes), std::make_tuple(2026, 12, 9, 19 * 60 + 48));
      EXPECT_NEAR(s, 15.123, 0.001);
    } else {
      const std::string time = first->GetFieldAsString(F("time"));
      EXPECT_EQ(time.substr(0, 4), "2026");
      EXPECT_NE(time.find(".123"), std::string::npos) << time;
    }

    std::unique_ptr<OGRFeature> second(next < features.size() ? features[next++].release() : nullptr);
    if (c.features == 1) {
      EXPECT_FALSE(second);
      continue;
    }
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetFieldAsInteger(F("n")), 2);
    EXPECT_EQ(second->GetFieldAsInteger(F("rxlevel_dbm")), -70);
    // KML: a level class's folder whose points have no position has no such field at all.
    const int latitude = second->GetFieldIndex(F("latitude_deg"));
    EXPECT_FALSE(latitude >= 0 && second->IsFieldSetAndNotNull(latitude) &&
                 std::string(second->GetFieldAsString(latitude)) != "");
    if (c.nullGeometryKept) {
      EXPECT_EQ(second->GetGeometryRef(), nullptr);
    }
  }
}

TEST_F(Export, KmlPointsTakeTheColourOfTheirLevelClass) {
  const std::string out = dir_.File("out.kml");
  ASSERT_TRUE(Run(out, ExportFormat::kml).ok);
  const std::string kml = FileText(out);
  // -63 dBm: the strongest class; KML writes alpha, blue, green, red.
  const gsmexport::LevelClass& strong = gsmexport::ClassOf(-63);
  char abgr[9];
  std::snprintf(abgr, sizeof abgr, "ff%02x%02x%02x", strong.blue, strong.green, strong.red);
  EXPECT_NE(kml.find("<Style id=\"level1\"><IconStyle><color>" + std::string(abgr) + "</color>"), std::string::npos);
  const std::size_t first = kml.find("<Placemark>");
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(kml.find("<styleUrl>#level1</styleUrl>", first), kml.find("<ExtendedData>", first));
  EXPECT_NE(kml.find("<styleUrl>#level2</styleUrl>"), std::string::npos);
  EXPECT_EQ(gsmexport::LevelStyleId(-20), "level1");
  EXPECT_EQ(gsmexport::LevelStyleId(-75), "level2");
  EXPECT_EQ(gsmexport::LevelStyleId(-76), "level3");
  EXPECT_EQ(gsmexport::LevelStyleId(-120), "level6");
  EXPECT_EQ(gsmexport::LevelStyleId(std::nullopt), "no-level");
}

TEST(ExportFormats, ByNameAndByExtension) {
  struct Case {
    const char* text;
    std::optional<ExportFormat> byName, byFile;
  };
  const Case cases[] = {
      {"gpkg", ExportFormat::geoPackage, std::nullopt},
      {"GeoPackage", ExportFormat::geoPackage, std::nullopt},
      {"drive.GPKG", std::nullopt, ExportFormat::geoPackage},
      {"drive.geojson", std::nullopt, ExportFormat::geoJson},
      {"drive.json", std::nullopt, ExportFormat::geoJson},
      {"geojson", ExportFormat::geoJson, std::nullopt},
      {"kml", ExportFormat::kml, std::nullopt},
      {"/a.b/drive.kml", std::nullopt, ExportFormat::kml},
      {"gpx", ExportFormat::gpx, std::nullopt},
      {"drive.gpx", std::nullopt, ExportFormat::gpx},
      {"CSV", ExportFormat::csv, std::nullopt},
      {"drive.csv", std::nullopt, ExportFormat::csv},
      {"drive.shp", std::nullopt, std::nullopt},
      {"/a.gpkg/drive", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(gsmexport::FormatByName(c.text), c.byName);
    EXPECT_EQ(gsmexport::FormatOfFile(c.text), c.byFile);
  }
}

TEST_F(Export, LogWithoutTimeRecordsExportsWithAnEmptyTime) {
  logtest::PlainLog log;
  log.Seal().Add(257, "250").Add(1411, "-70").Seal().Add(1411, "-71").Seal().Add(12803, "09.12.2026").Seal();
  const std::string old = dir_.File("old.log");
  WriteBytes(old, log.Bytes());
  const std::string out = dir_.File("old.csv");
  gsmexport::ExportOptions options;
  options.format = ExportFormat::csv;
  const auto result = gsmexport::ExportLog(old, out, options);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.cycles, 2);
  EXPECT_EQ(result.placed, 0);
  std::istringstream lines(FileText(out));
  std::string header, first, second, extra;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_FALSE(std::getline(lines, extra));
  EXPECT_EQ(header.rfind("n,time,local_time,latitude_deg,longitude_deg,", 0), 0u) << header;
  // Each row's cells by the header's names.
  const auto cells = [&header](const std::string& row) {
    std::map<std::string, std::string> byName;
    std::istringstream names(header), values(row);
    for (std::string name, value; std::getline(names, name, ',');) {
      std::getline(values, value, ',');
      byName[name] = value;
    }
    return byName;
  };
  const auto one = cells(first);
  EXPECT_EQ(one.at("n"), "1");
  EXPECT_EQ(one.at("time"), "");
  EXPECT_EQ(one.at("mcc"), "250");
  EXPECT_EQ(one.at("rxlevel_dbm"), "-70");
  EXPECT_EQ(one.at("n1_rxlevel_dbm"), "");
  EXPECT_EQ(cells(second).at("n"), "2");
}

TEST_F(Export, RefusalsLeaveEveryFileAsItWas) {
  const std::string out = dir_.File("exists.gpkg");
  { std::ofstream(out) << "keep me"; }
  auto result = Run(out, ExportFormat::geoPackage);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, std::string("Файл "_cp1251) + out + std::string(" уже существует"_cp1251));
  EXPECT_EQ(FileText(out), "keep me");
  // Asked to replace it, it does.
  EXPECT_TRUE(Run(out, ExportFormat::geoPackage, true).ok);
  EXPECT_TRUE(OpenVector(out));

  // Never over the log itself, nor over a folder.
  const std::string logBefore = FileText(log_);
  result = Run(log_, ExportFormat::csv, true);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(FileText(log_), logBefore);
  EXPECT_FALSE(Run(dir_.path().string(), ExportFormat::csv, true).ok);

  // A log that does not open creates nothing.
  gsmexport::ExportOptions options;
  options.format = ExportFormat::geoJson;
  const std::string fresh = dir_.File("fresh.geojson");
  result = gsmexport::ExportLog(dir_.File("missing.log"), fresh, options);
  EXPECT_EQ(result.error, gsmlog::OpenFailedMessage(dir_.File("missing.log")));
  EXPECT_FALSE(std::filesystem::exists(fresh));

  // A place that cannot be written.
  result = Run(dir_.File("no/such/folder/out.gpkg"), ExportFormat::geoPackage);
  EXPECT_EQ(result.error, std::string("Невозможно создать файл "_cp1251) + dir_.File("no/such/folder/out.gpkg"));
}

// An export that cannot be finished, over an older output: the disk fills (half of what the
// file needs), or the log is no log at all. It says so, and the older output stays as it was.
TEST_F(Export, AFailedExportLeavesTheOldOutputAndNothingElse) {
  const std::string notALog = dir_.File("passwd");
  { std::ofstream(notALog) << "root:x:0:0:root:/root:/bin/bash\n"; }
  for (const auto& info : gsmexport::Formats()) {
    const std::string out = dir_.File("keep." + std::string(info.extension));
    SCOPED_TRACE(out);
    ASSERT_TRUE(Run(out, info.format).ok);
    const std::string good = FileText(out);
    const auto before = Names(dir_.path());
    {
      const FileSizeLimit full(good.size() / 2);
      const auto result = Run(out, info.format, true);
      EXPECT_FALSE(result.ok);
      EXPECT_FALSE(result.damaged);
      const std::string error = platform::Cp1251ToUtf8(result.error);
      EXPECT_TRUE(error == "Невозможно записать файл " + out || error == "Невозможно создать файл " + out) << error;
    }
    EXPECT_EQ(FileText(out), good);
    EXPECT_EQ(Names(dir_.path()), before);

    gsmexport::ExportOptions options;
    options.format = info.format;
    options.overwrite = true;
    EXPECT_FALSE(gsmexport::ExportLog(notALog, out, options).ok);
    EXPECT_EQ(FileText(out), good);
    const std::string fresh = dir_.File("fresh." + std::string(info.extension));
    EXPECT_FALSE(gsmexport::ExportLog(notALog, fresh, options).ok);
    EXPECT_EQ(Names(dir_.path()), before);
  }
}

// The output is the one file named: whatever its extension, never a folder; never through a
// link or onto a device; and no other file beside it is touched.
TEST_F(Export, TheOutputIsTheNamedRegularFile) {
  for (const char* name : {"data.txt", "out.kml"}) {
    SCOPED_TRACE(name);
    const std::string out = dir_.File(name);
    ASSERT_TRUE(Run(out, ExportFormat::csv).ok);
    ASSERT_TRUE(std::filesystem::is_regular_file(out));
    EXPECT_EQ(FileText(out).substr(0, 7), "n,time,");
  }

  const std::string target = dir_.File("target.gpkg");
  { std::ofstream(target) << "keep me"; }
  const std::string link = dir_.File("link.gpkg");
  std::filesystem::create_symlink(target, link);
  const std::string device = dir_.File("stdout");
  std::filesystem::create_symlink("/dev/stdout", device);
  for (const std::string& out : {link, device, std::string("/dev/null")}) {
    SCOPED_TRACE(out);
    const auto result = Run(out, ExportFormat::geoPackage, true);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(platform::Cp1251ToUtf8(result.error), "Невозможно записать файл " + out + ": это не обычный файл");
  }
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(std::filesystem::is_symlink(device));
  EXPECT_EQ(FileText(target), "keep me");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

  const std::string part = dir_.File("trip.kml.part");
  { std::ofstream(part) << "the user's own"; }
  ASSERT_TRUE(Run(dir_.File("trip.kml"), ExportFormat::kml).ok);
  EXPECT_EQ(FileText(part), "the user's own");
}

TEST_F(Export, DamagedLogKeepsTheCyclesBeforeTheDamageAndACancelKeepsNothing) {
  logtest::PlainLog log;
  log.Seal().Add(1411, "-70").Seal().Add(1411, "-71").Add(12814, "DEADBEEF").Add(1411, "-72").Seal();
  const std::string damaged = dir_.File("damaged.log");
  WriteBytes(damaged, log.Bytes());
  const std::string out = dir_.File("damaged.geojson");
  gsmexport::ExportOptions options;
  options.format = ExportFormat::geoJson;
  const auto result = gsmexport::ExportLog(damaged, out, options);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.damaged);
  EXPECT_EQ(
      result.error,
      gsmlog::DamagedMessage(damaged) +
          std::string(
              ": контрольная сумма не совпадает (байт 42, запись 5); прочитано циклов: 1, байт: 34 из 76"_cp1251));
  EXPECT_EQ(result.cycles, 1);
  const Dataset dataset = OpenVector(out);
  ASSERT_TRUE(dataset);
  EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 1);

  for (const ExportFormat format : {ExportFormat::geoPackage, ExportFormat::kml}) {
    const std::string cancelled = dir_.File(format == ExportFormat::kml ? "cancelled.kml" : "cancelled.gpkg");
    options.format = format;
    options.progress = [](std::uint64_t, std::uint64_t) { return false; };
    const auto stopped = gsmexport::ExportLog(log_, cancelled, options);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_TRUE(stopped.error.empty());
    EXPECT_FALSE(std::filesystem::exists(cancelled));
    EXPECT_FALSE(std::filesystem::exists(cancelled + ".part"));
  }
}

}  // namespace
