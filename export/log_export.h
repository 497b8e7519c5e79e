#pragma once
// Export of a measurement log to the formats GIS tools and spreadsheets open, through GDAL/OGR:
// one feature per poll cycle, with its time (UTC, and the local time as logged), its position (a
// point; no geometry when the cycle has none), the serving cell's values and each neighbour's,
// under the names of radio/cell_values.h; and the run's events as points (kind, from, to, time).
// GeoPackage adds a layer of every cell of every cycle and its default QGIS style; KML a folder
// per level class and one of events; GPX the events as waypoints; GeoJSON and CSV the events in a
// second file beside the output (EventsFileName).
// Streaming: the log is read in chunks and each cycle is written as it is read.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "survey/cycle_reader.h"

namespace gsmexport {

enum class ExportFormat { geoPackage, geoJson, kml, gpx, csv };

struct FormatInfo {
  ExportFormat format;
  std::string_view name;       // as given to --format
  std::string_view extension;  // the usual one, without the dot
  std::string_view title;      // for dialogs and help
};

// The formats, in the order dialogs offer them.
const std::array<FormatInfo, 5>& Formats();
const FormatInfo& InfoOf(ExportFormat format);

// A format by its name ("gpkg", "geopackage", "geojson", "kml", "gpx", "csv"; any case).
std::optional<ExportFormat> FormatByName(std::string_view name);
// A format by a file name's extension (".gpkg", ".geojson" or ".json", ".kml", ".gpx", ".csv"; any case).
std::optional<ExportFormat> FormatOfFile(std::string_view fileName);

// CSV as the standard has it (comma, decimal point, UTF-8), or as a spreadsheet in a Russian
// locale opens it: semicolon, decimal comma, UTF-8 with a byte order mark.
enum class CsvDialect { standard, excelRu };
// "standard" or "excel-ru" (any case).
std::optional<CsvDialect> CsvDialectByName(std::string_view name);

// The second file of a GeoJSON or CSV export, the events: "drive-events.csv" for "drive.csv".
std::string EventsFileName(const std::string& outName);

struct ExportOptions {
  ExportFormat format = ExportFormat::geoPackage;
  CsvDialect csvDialect = CsvDialect::standard;
  bool overwrite = false;         // replace an existing output file; otherwise it is refused
  survey::ReadProgress progress;  // optional; false cancels (the output is removed)
};

struct ExportResult {
  bool ok = false;              // every cycle of an undamaged log was written
  bool damaged = false;         // the log is damaged: the cycles before the damage were written
  bool cancelled = false;       // the progress callback asked to stop; nothing is left behind
  std::string error;            // Russian, Windows-1251, when !ok and !cancelled
  long cycles = 0;              // features written (GPX: only cycles with a position)
  long placed = 0;              // of them, with a position
  long events = 0;              // event points written (GPX: only events with a position)
  bool eventsDetected = false;  // the log held no events: they are the event detector's
  gsmlog::LogVerdict verdict;   // how far the log holds: a log cut short exports whole, and says so
};

// Exports the log logName to outName (both file name bytes, opened as they are).
ExportResult ExportLog(const std::string& logName, const std::string& outName, const ExportOptions& options);

}  // namespace gsmexport
