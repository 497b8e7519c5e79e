#include "cli/log_commands.h"

#include <iostream>

#include "export/log_export.h"
#include "log/log_dump.h"
#include "log/log_viewer.h"
#include "platform/text_encoding.h"

namespace cli {

int PrintLogReport(const std::string& fileName, bool raw) {
  const gsmlog::LogReport report = gsmlog::BuildLogReport(platform::Utf8ToCp1251(fileName));
  if (!report.ok) {
    std::cerr << platform::Cp1251ToUtf8(report.error) << std::endl;
    return 1;
  }
  if (raw) {
    std::cout.write(report.text.data(), static_cast<std::streamsize>(report.text.size()));
    return 0;
  }
  std::string text = platform::Cp1251ToUtf8(report.text);
  std::erase(text, '\r');
  std::cout << text;
  return 0;
}

int DumpLogFile(const std::string& fileName) {
  const gsmlog::LogDump dump = gsmlog::DumpLogFile(platform::Utf8ToCp1251(fileName));
  if (!dump.ok) {
    std::cerr << platform::Cp1251ToUtf8(dump.error) << std::endl;
    return 1;
  }
  for (const gsmlog::DumpRecord& record : dump.records) {
    std::cout << platform::Cp1251ToUtf8(gsmlog::FormatDumpLine(record)) << '\n';
  }
  std::cout << platform::Cp1251ToUtf8(gsmlog::FormatDumpEnd(dump)) << '\n';
  if (!dump.valid) {
    std::cerr << platform::Cp1251ToUtf8(gsmlog::DamagedMessage(platform::Utf8ToCp1251(fileName))) << std::endl;
    return 1;
  }
  return 0;
}

int ExportLogFile(const std::string& fileName, const std::string& outName, const std::string& formatName,
                  bool overwrite) {
  const auto format = formatName.empty() ? gsmexport::FormatOfFile(outName) : gsmexport::FormatByName(formatName);
  if (!format) {
    if (formatName.empty()) {
      std::cerr << "Формат экспорта не следует из имени файла " << outName << ": укажите --format" << std::endl;
    } else {
      std::cerr << "Неизвестный формат экспорта: " << formatName << std::endl;
    }
    return 2;
  }
  gsmexport::ExportOptions options;
  options.format = *format;
  options.overwrite = overwrite;
  const gsmexport::ExportResult result =
      gsmexport::ExportLog(platform::Utf8ToCp1251(fileName), platform::Utf8ToCp1251(outName), options);
  if (result.ok || result.damaged) {
    std::cout << "Экспортировано циклов: " << result.cycles << ", с местоположением: " << result.placed << std::endl;
  }
  if (!result.ok) {
    std::cerr << platform::Cp1251ToUtf8(result.error) << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace cli
