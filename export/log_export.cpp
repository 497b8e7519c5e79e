#include "export/log_export.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>

#include "platform/text_encoding.h"

namespace gsmexport {
namespace {

using namespace platform::literals;

constexpr std::array<FormatInfo, 5> kFormats = {{
    {ExportFormat::geoPackage, "gpkg", "gpkg", "GeoPackage"},
    {ExportFormat::geoJson, "geojson", "geojson", "GeoJSON"},
    {ExportFormat::kml, "kml", "kml", "KML"},
    {ExportFormat::gpx, "gpx", "gpx", "GPX"},
    {ExportFormat::csv, "csv", "csv", "CSV"},
}};

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

using RunFunction = void (*)(const std::string&, const std::string&, const ExportOptions&, ExportResult&);

// The folder of the running program.
std::string ProgramFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  const std::string program(path, static_cast<std::size_t>(n));
  return program.substr(0, program.rfind('/'));
}

// GDAL and its libraries are loaded only when an export runs: the monitor, the report and the
// window start without them. The module is looked for where it is installed beside the program,
// then where this build made it.
// The module's process-wide state (docs/threads.md): the loaded module's entry, found once.
struct ModuleState {
  std::once_flag once;
  RunFunction run = nullptr;
  std::string failure;  // where the module was looked for, when it was not found
};

// Made on first use and never destroyed, like the module it points into.
ModuleState& Module() {
  static ModuleState* const state = new ModuleState;
  return *state;
}

RunFunction LoadModule(std::string& error) {
  ModuleState& state = Module();
  std::call_once(state.once, [&state] {
    const std::string places[] = {ProgramFolder() + "/" GSMEXPORT_INSTALLED_MODULE, GSMEXPORT_BUILD_MODULE};
    for (const std::string& place : places) {
      void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (module == nullptr) continue;
      state.run = reinterpret_cast<RunFunction>(::dlsym(module, "gsmexport_run"));
      if (state.run != nullptr) return;
    }
    state.failure = places[0];
  });
  error = state.failure;
  return state.run;
}

}  // namespace

const std::array<FormatInfo, 5>& Formats() { return kFormats; }

const FormatInfo& InfoOf(ExportFormat format) {
  for (const FormatInfo& info : kFormats) {
    if (info.format == format) return info;
  }
  return kFormats[0];
}

std::optional<ExportFormat> FormatByName(std::string_view name) {
  if (SameText(name, "geopackage")) return ExportFormat::geoPackage;
  for (const FormatInfo& info : kFormats) {
    if (SameText(name, info.name)) return info.format;
  }
  return std::nullopt;
}

std::optional<ExportFormat> FormatOfFile(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  const std::size_t slash = fileName.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return std::nullopt;
  const std::string_view extension = fileName.substr(dot + 1);
  if (SameText(extension, "json")) return ExportFormat::geoJson;
  for (const FormatInfo& info : kFormats) {
    if (SameText(extension, info.extension)) return info.format;
  }
  return std::nullopt;
}

std::optional<CsvDialect> CsvDialectByName(std::string_view name) {
  if (SameText(name, "standard")) return CsvDialect::standard;
  if (SameText(name, "excel-ru")) return CsvDialect::excelRu;
  return std::nullopt;
}

ExportResult ExportLog(const std::string& logName, const std::string& outName, const ExportOptions& options) {
  std::string missing;
  const RunFunction run = LoadModule(missing);
  ExportResult result;
  if (run == nullptr) {
    result.error = std::string("Невозможно загрузить модуль экспорта "_cp1251) + platform::Utf8ToCp1251(missing);
    return result;
  }
  run(logName, outName, options, result);
  return result;
}

}  // namespace gsmexport
