#include "cli/log_commands.h"

#include <iostream>

#include "cli/standard_output.h"
#include "export/log_export.h"
#include "log/log_dump.h"
#include "log/log_reader.h"
#include "log/log_viewer.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"

namespace cli {

namespace {

// Says how far a log not read whole holds, on stderr.
void TellVerdict(const std::string& fileName, const gsmlog::LogVerdict& verdict) {
  if (verdict.state == gsmlog::LogState::whole) return;
  std::cerr << platform::Cp1251ToPrintable(gsmlog::VerdictMessage(fileName, verdict)) << std::endl;
}

}  // namespace

int PrintLogReport(const std::string& fileName, bool raw) {
  const gsmlog::LogReport report = gsmlog::BuildLogReport(fileName);
  // The fast build counts no cycles: a file not read whole is read again, serially, for the message.
  const auto counted = [&] { return gsmlog::ReadLogVerdict(fileName); };
  if (!report.ok) {
    const gsmlog::LogRead read = counted();
    if (read.ok && !read.verdict.ReadToEnd()) {
      TellVerdict(fileName, read.verdict);
    } else {
      std::cerr << platform::Cp1251ToPrintable(report.error) << std::endl;
    }
    return 1;
  }
  if (raw) {
    std::cout.write(report.text.data(), static_cast<std::streamsize>(report.text.size()));
  } else {
    std::string text = report.text;
    std::erase(text, '\r');
    std::cout << platform::Cp1251ToPrintable(text);
  }
  const int written = FinishOutput(std::cout);
  if (report.verdict.state == gsmlog::LogState::whole) return written;
  const gsmlog::LogRead read = counted();
  TellVerdict(fileName, read.ok ? read.verdict : report.verdict);
  return written != 0 || !report.verdict.ReadToEnd() ? 1 : 0;
}

int DumpLogFile(const std::string& fileName) {
  // Each line goes out as its record is read; a failed write ends the listing.
  const gsmlog::LogDump dump = gsmlog::DumpLogFile(fileName, [](const gsmlog::DumpRecord& record) {
    std::cout << platform::Cp1251ToPrintable(gsmlog::FormatDumpLine(record)) << '\n';
    return !std::cout.fail();
  });
  if (std::cout.fail()) return FinishOutput(std::cout);
  if (!dump.ok) {
    (void)OutputWritten(std::cout);  // the lines before a read error still go out
    std::cerr << platform::Cp1251ToPrintable(dump.error) << std::endl;
    return 1;
  }
  std::cout << platform::Cp1251ToPrintable(gsmlog::FormatDumpEnd(dump)) << '\n';
  if (FinishOutput(std::cout) != 0) return 1;
  TellVerdict(fileName, dump.verdict);
  return dump.verdict.ReadToEnd() ? 0 : 1;
}

int ExportLogFile(const std::string& fileName, const std::string& outName, const std::string& formatName,
                  bool overwrite, gsmexport::CsvDialect csvDialect) {
  const auto format = formatName.empty() ? gsmexport::FormatOfFile(outName) : gsmexport::FormatByName(formatName);
  if (!format) {
    if (formatName.empty()) {
      std::cerr << "Формат экспорта не следует из имени файла "
                << platform::Cp1251ToPrintable(platform::FileNameText(outName)) << ": укажите --format" << std::endl;
    } else {
      std::cerr << "Неизвестный формат экспорта: " << platform::Cp1251ToPrintable(platform::Utf8ToCp1251(formatName))
                << std::endl;
    }
    return 2;
  }
  gsmexport::ExportOptions options;
  options.format = *format;
  options.overwrite = overwrite;
  options.csvDialect = csvDialect;
  const gsmexport::ExportResult result = gsmexport::ExportLog(fileName, outName, options);
  if (result.ok || result.damaged) {
    std::cout << "Экспортировано циклов: " << result.cycles << ", с местоположением: " << result.placed << std::endl;
    std::cout << "Событий: " << result.events << (result.eventsDetected ? " (найдены по циклам журнала)" : "");
    if (*format == gsmexport::ExportFormat::geoJson || *format == gsmexport::ExportFormat::csv) {
      std::cout << ", файл " << platform::Cp1251ToPrintable(platform::FileNameText(gsmexport::EventsFileName(outName)));
    }
    std::cout << std::endl;
  }
  if (!result.ok) {
    std::cerr << platform::Cp1251ToPrintable(result.error) << std::endl;
    return 1;
  }
  TellVerdict(fileName, result.verdict);
  return 0;
}

}  // namespace cli
