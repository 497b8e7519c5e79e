// One log with neighbours and events, exported to every format and read back through GDAL as a
// GIS tool would: the same cycle has the same values, the same neighbours and the same events
// in each; times are UTC with a "Z"; the extras of each format (the GeoPackage's cells layer and
// QGIS style, the KML's names, times and legend, GPX waypoints, the spreadsheet dialect).

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>

#include "export/kml_styles.h"
#include "export/level_classes.h"
#include "export/log_export.h"
#include "history/cell_events.h"
#include "log/log_record.h"
#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "tests/log/plain_log.h"
#include "tests/log/temp_dir.h"
#include "tests/support/survey_log.h"

namespace {

using gsmexport::CsvDialect;
using gsmexport::ExportFormat;
using namespace platform::literals;

struct DatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(GDALDataset::ToHandle(dataset)); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

// Date-times as written: GeoJSON's reader would take any ISO text for one.
Dataset OpenVector(const std::string& path) {
  const char* const options[] = {"DATE_AS_STRING=YES", nullptr};
  return Dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr,
                                   path.find(".geojson") != std::string::npos ? options : nullptr));
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The KML's folders of the cycles and the events, which GDAL reads as layers.
const std::string kCycles(gsmexport::kCyclesCaption);
const std::string kEvents(gsmexport::kEventsCaption);

const auto kEventTime = testsupport::kSurveyCycleTime - std::chrono::milliseconds(123);

// The survey log with an identified neighbour, two events in its first cycle and the end of the
// run after its last.
bool WriteLogWithEvents(const std::string& path) {
  gsmlog::TLogWriter writer;
  if (!writer.Create(path).ok) return false;
  testsupport::LogSurveyCycle(writer, -63, true);
  writer.Field(386, 6, parser::TextValue("12345"));
  writer.Hold(gsmlog::kCycleEventCode,
              history::FormatEventRecord({history::EventKind::servingCell, "69000", "69777", 0, kEventTime}));
  writer.Hold(gsmlog::kCycleEventCode,
              history::FormatEventRecord({history::EventKind::levelLow, "-90", "-103", -100, kEventTime}));
  survey::HoldCycleRecords(writer, {testsupport::kSurveyCycleTime, testsupport::SurveyFix()});
  writer.Seal();
  testsupport::LogSurveyCycle(writer, -70, false);
  survey::HoldCycleRecords(writer, {testsupport::kSurveyCycleTime + std::chrono::seconds(1), std::nullopt});
  writer.Seal();
  writer.Hold(gsmlog::kCycleEventCode,
              history::FormatEventRecord({history::EventKind::connectionEnded, "", "", 0,
                                          testsupport::kSurveyCycleTime + std::chrono::seconds(2)}));
  return writer.Complete();
}

// A field as text: date-times as UTC ISO texts, a decimal comma as a point.
std::string FieldText(const OGRFeature& feature, const std::string& name) {
  const int index = feature.GetFieldIndex(name.c_str());
  if (index < 0 || !feature.IsFieldSetAndNotNull(index)) return "";
  if (feature.GetFieldDefnRef(index)->GetType() == OFTDateTime) {
    int y, mo, d, h, mi, tz;
    float s;
    feature.GetFieldAsDateTime(index, &y, &mo, &d, &h, &mi, &s, &tz);
    if (tz != 100) return "not UTC";
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%06.3fZ", y, mo, d, h, mi, static_cast<double>(s));
    return text;
  }
  std::string text = feature.GetFieldAsString(index);
  // GeoJSON leaves out a zero fraction of a second.
  text = std::regex_replace(text, std::regex(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)Z$)"), "$1.000Z");
  if (std::regex_match(text, std::regex("-?[0-9]+,[0-9]+"))) std::replace(text.begin(), text.end(), ',', '.');
  if (feature.GetFieldDefnRef(index)->GetType() == OFTReal) {
    char number[40];
    std::snprintf(number, sizeof number, "%.10g", feature.GetFieldAsDouble(index));
    text = number;
  }
  return text;
}

using Features = std::vector<std::unique_ptr<OGRFeature>>;

// The features of the named layers (every layer but those when `except` is set).
Features Read(GDALDataset& dataset, const std::vector<std::string>& names, bool except = false) {
  Features features;
  for (int i = 0; i < dataset.GetLayerCount(); ++i) {
    OGRLayer* layer = dataset.GetLayer(i);
    const bool named = std::find(names.begin(), names.end(), layer->GetName()) != names.end();
    if (named == except) continue;
    layer->ResetReading();
    while (OGRFeature* f = layer->GetNextFeature()) features.emplace_back(f);
  }
  return features;
}

class ExportRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    GDALAllRegister();
    log_ = dir_.File("drive.log");
    ASSERT_TRUE(WriteLogWithEvents(log_));
  }
  gsmexport::ExportResult Run(const std::string& out, ExportFormat format, CsvDialect dialect = CsvDialect::standard) {
    gsmexport::ExportOptions options;
    options.format = format;
    options.csvDialect = dialect;
    return gsmexport::ExportLog(log_, out, options);
  }
  logtest::TempDir dir_;
  std::string log_;
};

TEST_F(ExportRoundTrip, TheSameCycleNeighboursAndEventsInEveryFormat) {
  struct Case {
    ExportFormat format;
    CsvDialect dialect;
    const char* file;
    const char* prefix;  // GPX reads its extension fields back with one
    long events;         // GPX: only the events of a placed cycle
  };
  const Case cases[] = {
      {ExportFormat::geoPackage, CsvDialect::standard, "out.gpkg", "", 3},
      {ExportFormat::geoJson, CsvDialect::standard, "out.geojson", "", 3},
      {ExportFormat::kml, CsvDialect::standard, "out.kml", "", 3},
      {ExportFormat::gpx, CsvDialect::standard, "out.gpx", "ogr_", 2},
      {ExportFormat::csv, CsvDialect::standard, "out.csv", "", 3},
      {ExportFormat::csv, CsvDialect::excelRu, "ru.csv", "", 3},
  };
  // The first cycle's values under their names, as every format must give them back.
  const std::map<std::string, std::string> cycle = {
      {"n", "1"},
      {"time", "2026-12-09T19:48:15.123Z"},
      {"latitude_deg", "55.7558"},
      {"fix_time", "2026-12-09T19:48:14.000Z"},
      {"tech", "gsm"},
      {"country_name", "Россия"},
      {"cell_id", "69777"},
      {"rxlevel_dbm", "-63"},
      {"ber_percent", "0.57"},
      {"distance_km", "5.5"},
      {"n1_channel", ""},
      {"n1_tech", ""},  // a neighbour that did not report is no cell
      {"n6_channel", "996"},
      {"n6_bsic", "48"},
      {"n6_band", "EGSM900"},
      {"n6_rxlevel_dbm", "-101"},
      {"n6_cell_id", "12345"},
      {"n6_tech", "gsm"},
  };
  const std::vector<std::map<std::string, std::string>> events = {
      {{"n", "1"}, {"kind", "serving_cell"}, {"from", "69000"}, {"to", "69777"}, {"time", "2026-12-09T19:48:15.000Z"}},
      {{"n", "1"}, {"kind", "level_low"}, {"from", "-90"}, {"to", "-103"}, {"threshold", "-100"}},
      {{"n", "2"}, {"kind", "connection_ended"}, {"time", "2026-12-09T19:48:17.123Z"}},
  };
  std::string localTime;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string out = dir_.File(c.file);
    const auto result = Run(out, c.format, c.dialect);
    ASSERT_TRUE(result.ok) << platform::Cp1251ToUtf8(result.error);
    EXPECT_EQ(result.events, c.events);
    EXPECT_FALSE(result.eventsDetected);

    const Dataset dataset = OpenVector(out);
    ASSERT_TRUE(dataset);
    // KML's cycles are in a folder (a layer) per level class; GPX's in its track points.
    const Features cycles = c.format == ExportFormat::gpx   ? Read(*dataset, {"track_points"})
                            : c.format == ExportFormat::kml ? Read(*dataset, {"cycles", "events"}, true)
                                                            : Read(*dataset, {dataset->GetLayer(0)->GetName()});
    const auto first = std::find_if(cycles.begin(), cycles.end(),
                                    [&](const auto& f) { return FieldText(*f, c.prefix + std::string("n")) == "1"; });
    ASSERT_NE(first, cycles.end());
    for (const auto& [name, value] : cycle) {
      EXPECT_EQ(FieldText(**first, (name == "time" ? "" : c.prefix) + name), value) << name;
    }
    // The local time as logged, with its offset: the same text everywhere.
    const std::string local = FieldText(**first, c.prefix + std::string("local_time"));
    EXPECT_TRUE(std::regex_match(local, std::regex(R"(2026-12-\d\dT\d\d:\d\d:15\.123[+-]\d\d:\d\d)"))) << local;
    if (localTime.empty()) localTime = local;
    EXPECT_EQ(local, localTime);

    Features read;
    Dataset eventsFile;
    if (c.format == ExportFormat::geoJson || c.format == ExportFormat::csv) {
      eventsFile = OpenVector(gsmexport::EventsFileName(out));
      ASSERT_TRUE(eventsFile);
      read = Read(*eventsFile, {eventsFile->GetLayer(0)->GetName()});
    } else {
      read = Read(*dataset, {c.format == ExportFormat::gpx   ? "waypoints"
                             : c.format == ExportFormat::kml ? kEvents
                                                             : "events"});
    }
    ASSERT_EQ(read.size(), static_cast<std::size_t>(c.events));
    for (std::size_t i = 0; i < read.size(); ++i) {
      for (const auto& [name, value] : events[i]) {
        EXPECT_EQ(FieldText(*read[i], (name == "time" ? "" : c.prefix) + name), value) << i << " " << name;
      }
    }
    if (c.format != ExportFormat::csv) {
      ASSERT_NE(read[0]->GetGeometryRef(), nullptr);
      EXPECT_NEAR(read[0]->GetGeometryRef()->toPoint()->getY(), 55.7558, 1e-7);
    }
  }
}

TEST_F(ExportRoundTrip, GeoPackageHasEveryCellOfACycleAndItsQgisStyle) {
  const std::string out = dir_.File("out.gpkg");
  ASSERT_TRUE(Run(out, ExportFormat::geoPackage).ok);
  const Dataset dataset = OpenVector(out);
  ASSERT_TRUE(dataset);
  OGRLayer* cells = dataset->GetLayerByName("cells");
  ASSERT_NE(cells, nullptr);
  cells->SetAttributeFilter("n = 1");
  std::vector<std::string> rows;
  for (const auto& f : Read(*dataset, {"cells"})) {
    rows.push_back(FieldText(*f, "role") + " " + FieldText(*f, "rank") + " " + FieldText(*f, "cell_id") + " " +
                   FieldText(*f, "channel") + " " + FieldText(*f, "rxlevel_dbm") + " " + FieldText(*f, "time"));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"serving 0 69777 121 -63 2026-12-09T19:48:15.123Z",
                                            "neighbour 6 12345 996 -101 2026-12-09T19:48:15.123Z"}));

  // QGIS's own table, its row for the cycles: the default, by an empty catalogue and schema.
  OGRLayer* styles = dataset->GetLayerByName("layer_styles");
  ASSERT_NE(styles, nullptr);
  for (const char* column : {"f_table_catalog", "f_table_schema", "f_table_name", "f_geometry_column", "stylename",
                             "styleqml", "stylesld", "useasdefault", "description", "owner", "ui", "update_time"}) {
    EXPECT_GE(styles->GetLayerDefn()->GetFieldIndex(column), 0) << column;
  }
  EXPECT_STREQ(styles->GetFIDColumn(), "id");
  const Features rowsOfStyles = Read(*dataset, {"layer_styles"});
  ASSERT_EQ(rowsOfStyles.size(), 1u);
  const OGRFeature& style = *rowsOfStyles[0];
  EXPECT_EQ(FieldText(style, "f_table_catalog"), "");
  EXPECT_TRUE(style.IsFieldSetAndNotNull(style.GetFieldIndex("f_table_schema")));
  EXPECT_EQ(FieldText(style, "f_table_name"), "cycles");
  EXPECT_EQ(FieldText(style, "f_geometry_column"), dataset->GetLayerByName("cycles")->GetGeometryColumn());
  EXPECT_EQ(FieldText(style, "useasdefault"), "1");
  // The QML parses, and has a rule and a colour per level class.
  const std::string qml = FieldText(style, "styleqml");
  const std::string qmlFile = dir_.File("style.qml");
  std::ofstream(qmlFile) << qml;
  CPLXMLNode* root = CPLParseXMLFile(qmlFile.c_str());
  ASSERT_NE(root, nullptr);
  const CPLXMLNode* rules = CPLGetXMLNode(root, "=qgis.renderer-v2.rules");
  ASSERT_NE(rules, nullptr);
  EXPECT_STREQ(CPLGetXMLValue(root, "=qgis.renderer-v2.type", ""), "RuleRenderer");
  std::vector<std::string> labels;
  for (const CPLXMLNode* rule = rules->psChild; rule != nullptr; rule = rule->psNext) {
    if (rule->eType == CXT_Element) labels.push_back(CPLGetXMLValue(rule, "label", ""));
  }
  CPLDestroyXMLNode(root);
  ASSERT_EQ(labels.size(), gsmexport::LevelClasses().size());
  for (std::size_t i = 0; i < labels.size(); ++i) EXPECT_EQ(labels[i], gsmexport::LevelClasses()[i].caption);
  EXPECT_NE(qml.find("coalesce(&quot;rxlevel_dbm&quot;"), std::string::npos);
  EXPECT_NE(qml.find("\"170,0,170,255\""), std::string::npos);  // the weakest class: magenta
}

TEST_F(ExportRoundTrip, KmlIsNamedTimedWithALegendAndNothingFromTheWeb) {
  const std::string out = dir_.File("out.kml");
  ASSERT_TRUE(Run(out, ExportFormat::kml).ok);
  const std::string kml = FileText(out);
  EXPECT_EQ(kml.find("http"), std::string::npos);
  EXPECT_EQ(kml.find("<href>"), std::string::npos);
  // Every placemark named, timed in UTC and styled.
  std::size_t placemarks = 0;
  for (std::size_t at = kml.find("<Placemark>"); at != std::string::npos; at = kml.find("<Placemark>", at + 1)) {
    const std::string one = kml.substr(at, kml.find("</Placemark>", at) - at);
    EXPECT_TRUE(std::regex_search(one, std::regex(R"(<name>[^<]+</name>)"))) << one;
    EXPECT_TRUE(std::regex_search(one, std::regex(R"(<TimeStamp><when>2026-12-09T19:48:1\d\.\d{3}Z</when>)"))) << one;
    EXPECT_LT(one.find("<styleUrl>"), one.find("<ExtendedData>")) << one;
    ++placemarks;
  }
  EXPECT_EQ(placemarks, 5u);  // two cycles, three events
  EXPECT_NE(kml.find("<Folder><name>Циклы опроса</name>"), std::string::npos);
  EXPECT_NE(kml.find("<Folder><name>События</name>"), std::string::npos);
  EXPECT_NE(kml.find("<name>-63 dBm, сота 69777, канал 121</name>"), std::string::npos);
  EXPECT_NE(kml.find("<name>Смена соты: 69000 -&gt; 69777</name>"), std::string::npos);
  // The legend: a folder per class, each point in its class's, coloured by it; no class white
  // or pale, the weakest a dark saturated one.
  const std::size_t strong = kml.find("<Folder><name>-65 dBm и выше</name>");
  ASSERT_NE(strong, std::string::npos);
  EXPECT_LT(strong, kml.find("<styleUrl>#level1</styleUrl>"));
  EXPECT_LT(kml.find("<Folder><name>от -75 до -66 dBm</name>"), kml.find("<styleUrl>#level2</styleUrl>"));
  for (const gsmexport::LevelClass& c : gsmexport::LevelClasses()) {
    SCOPED_TRACE(c.id);
    if (!c.floor && c.id == "no-level") continue;  // grey: a point without a level
    EXPECT_NE(kml.find("<Style id=\"" + std::string(c.id) + "\">"), std::string::npos);
    EXPECT_LT(std::min({c.red, c.green, c.blue}), 60);  // saturated: never white or a pastel
  }
  EXPECT_NE(kml.find("<Style id=\"level6\"><IconStyle><color>ffaa00aa</color>"), std::string::npos);
}

TEST_F(ExportRoundTrip, GpxTimesAreUtc) {
  const std::string out = dir_.File("out.gpx");
  ASSERT_TRUE(Run(out, ExportFormat::gpx).ok);
  const std::string gpx = FileText(out);
  std::size_t times = 0;
  const std::regex time("<time>([^<]*)</time>");
  for (std::sregex_iterator it(gpx.begin(), gpx.end(), time), end; it != end; ++it) {
    EXPECT_EQ((*it)[1].str().back(), 'Z') << (*it)[1].str();
    ++times;
  }
  EXPECT_EQ(times, 3u);  // the track point and the two waypoints
  EXPECT_LT(gpx.find("<wpt "), gpx.find("<trk>"));
}

TEST_F(ExportRoundTrip, ExcelRuCsvIsSemicolonsDecimalCommasAndABom) {
  const std::string out = dir_.File("ru.csv");
  ASSERT_TRUE(Run(out, ExportFormat::csv, CsvDialect::excelRu).ok);
  for (const std::string& file : {out, gsmexport::EventsFileName(out)}) {
    SCOPED_TRACE(file);
    const std::string text = FileText(file);
    ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(text.substr(3, 7), "n;time;");
  }
  const std::string text = FileText(out);
  EXPECT_NE(text.find(";Россия;"), std::string::npos);
  // A text with a comma is quoted, which a spreadsheet reads as the number all the same.
  EXPECT_TRUE(std::regex_search(text, std::regex(R"(;"?55,7558"?;"?37,6173"?;"?150,2"?;)")));
  EXPECT_TRUE(std::regex_search(text, std::regex(R"(;"?0,57"?;)")));
  EXPECT_EQ(text.find("5.5"), std::string::npos);
}

// A log without event records: the events are those the detector finds in its cycles.
TEST_F(ExportRoundTrip, EventsOfALogWithoutThemAreDetected) {
  logtest::PlainLog log;
  log.Seal()
      .Add(1410, "100")
      .Add(1411, "-70")
      .Seal()
      .Add(1410, "100")
      .Add(1411, "-70")
      .Seal()
      .Add(1410, "200")
      .Add(1411, "-71")
      .Seal();
  const std::string old = dir_.File("old.log");
  std::ofstream(old, std::ios::binary)
      .write(reinterpret_cast<const char*>(log.Bytes().data()), static_cast<std::streamsize>(log.Bytes().size()));
  gsmexport::ExportOptions options;
  options.format = ExportFormat::csv;
  const std::string out = dir_.File("old.csv");
  const auto result = gsmexport::ExportLog(old, out, options);
  ASSERT_TRUE(result.ok) << platform::Cp1251ToUtf8(result.error);
  EXPECT_TRUE(result.eventsDetected);
  EXPECT_EQ(result.events, 1);
  const Dataset events = OpenVector(gsmexport::EventsFileName(out));
  ASSERT_TRUE(events);
  const Features read = Read(*events, {events->GetLayer(0)->GetName()});
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(FieldText(*read[0], "n"), "3");
  EXPECT_EQ(FieldText(*read[0], "kind"), "serving_cell");
  EXPECT_EQ(FieldText(*read[0], "from"), "100");
  EXPECT_EQ(FieldText(*read[0], "to"), "200");
}

TEST(ExportNames, EventsFileBesideTheOutput) {
  EXPECT_EQ(gsmexport::EventsFileName("/a/drive.csv"), "/a/drive-events.csv");
  EXPECT_EQ(gsmexport::EventsFileName("/a.b/drive"), "/a.b/drive-events");
  EXPECT_EQ(gsmexport::EventsFileName(".csv"), ".csv-events");
}

}  // namespace
