#include "log/log_viewer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "log/log_record.h"
#include "log/log_verdict.h"
#include "log/record_codes.h"
#include "log/report_scan.h"
#include "parser/field_table.h"
#include "platform/file_name.h"
#include "platform/read_only_file.h"
#include "platform/text_encoding.h"

namespace gsmlog {

using namespace platform::literals;

namespace {

// The report's values that come from summary records, then one per row of the field table.
enum class ReportValue : std::size_t {
  date,
  start,
  end,
  rxMax,
  rxMin,
  rxAverage,
  berMax,
  berMin,
  berAverage,
  band900,
  band1800,
  firstField,
};
static_assert(static_cast<std::size_t>(ReportValue::band1800) == kBand1800ShareCode - kSummaryDateCode,
              "the summary's report values in the order of their codes");
constexpr std::size_t kReportValues = static_cast<std::size_t>(ReportValue::firstField) + parser::kFieldTable.size();

struct FieldRoute {
  std::size_t value;      // index into ReportData::values
  std::string_view unit;  // appended to the text as it is
  bool blank = false;     // a blank goes between the text and the unit
};

// The summary's units, from the table of record codes: a unit of letters follows a blank, "%" none.
constexpr auto kSummaryRoutes = [] {
  std::array<FieldRoute, kBand1800ShareCode - kSummaryDateCode + 1> routes{};
  for (const RecordCodeInfo& info : kFixedCodes) {
    if (info.code < kSummaryDateCode || info.code > kBand1800ShareCode) continue;
    const auto index = static_cast<std::size_t>(info.code - kSummaryDateCode);
    routes[index] = {static_cast<std::size_t>(ReportValue::date) + index, info.unit,
                     !info.unit.empty() && info.unit != "%"};
  }
  return routes;
}();

// Which report value a record code sets, and the unit appended on storing; false for none. The
// summary's values come in the order of their codes.
bool RouteOf(std::int32_t code, FieldRoute& route) {
  if (code >= kSummaryDateCode && code <= kBand1800ShareCode) {
    route = kSummaryRoutes[static_cast<std::size_t>(code - kSummaryDateCode)];
    return true;
  }
  // A field's own code: the fields the report shows on a line of their own, with their unit.
  const int row = parser::FieldIndex(code);
  if (row < 0 || !parser::kFieldTable[static_cast<std::size_t>(row)].inReport) return false;
  route.value = static_cast<std::size_t>(ReportValue::firstField) + static_cast<std::size_t>(row);
  route.unit = parser::kFieldTable[static_cast<std::size_t>(row)].unit;
  route.blank = !route.unit.empty();
  return true;
}

constexpr int kShownGroups = 6;

// Table slot of a cell field, or -1.
int SlotOf(int field) {
  const parser::FieldInfo* info = parser::FindField(field);
  return info != nullptr && info->logPerCell ? info->gridRow : -1;
}

struct ReportData {
  std::array<std::string, kReportValues> values;
  std::array<std::array<std::string, parser::kGridRows>, kShownGroups> cells;

  ReportData() {
    for (auto& v : values) v = parser::kNotAvailable;
    for (auto& group : cells) {
      for (auto& c : group) c = parser::kNotAvailable;
    }
  }

  const std::string& Value(ReportValue value) const { return values[static_cast<std::size_t>(value)]; }
  const std::string& Field(parser::FieldCode code) const {
    return values[static_cast<std::size_t>(ReportValue::firstField) +
                  static_cast<std::size_t>(parser::FieldIndex(code))];
  }
};

std::string Layout(const ReportData& d) {
  using enum ReportValue;
  using namespace parser;
  std::string r;
  r.reserve(2048);
  AddReportField(r, "Дата"_cp1251, d.Value(date));
  AddReportField(r, "Время"_cp1251, d.Value(start) + " - " + d.Value(end));
  AddReportLine(r, "");
  AddReportLine(r, "Информация о модеме"_cp1251);
  AddReportLine(r, "-------------------");
  AddReportField(r, "IMEI", d.Field(fcImei));
  AddReportField(r, "Модель"_cp1251, d.Field(fcModel));
  AddReportLine(r, "");
  AddReportField(r, "IMSI-номер"_cp1251, d.Field(fcImsi));
  AddReportField(r, "Страна"_cp1251, d.Field(fcCountry));
  AddReportField(r, "Оператор"_cp1251, d.Field(fcOperator));
  AddReportField(r, "Сота"_cp1251, d.Field(fcCell));
  AddReportField(r, "BSIC", d.Field(fcBaseStation));
  AddReportField(r, "Локальная зона"_cp1251, d.Field(fcLocalArea));
  AddReportLine(r, "");
  AddReportLine(r, "Уровень сигнала"_cp1251);
  AddReportLine(r, "---------------");
  AddReportField(r, "Максимум"_cp1251, d.Value(rxMax));
  AddReportField(r, "Минимум"_cp1251, d.Value(rxMin));
  AddReportField(r, "Среднее"_cp1251, d.Value(rxAverage));
  AddReportLine(r, "");
  AddReportLine(r, "Качество сигнала"_cp1251);
  AddReportLine(r, "----------------");
  AddReportField(r, "Максимум"_cp1251, d.Value(berMax));
  AddReportField(r, "Минимум"_cp1251, d.Value(berMin));
  AddReportField(r, "Среднее"_cp1251, d.Value(berAverage));
  AddReportLine(r, "");
  AddReportLine(r, "Используемые диапазоны"_cp1251);
  AddReportLine(r, "----------------------");
  AddReportField(r, "GSM 900", d.Value(band900));
  AddReportField(r, "GSM 1800", d.Value(band1800));
  AddReportLine(r, "");
  AddReportField(r, "Расстояние до БС"_cp1251, d.Field(fcTimingAdvance));
  AddReportLine(r, "");
  AddTableRow(r, "Параметр"_cp1251, "Акт."_cp1251, "1-я"_cp1251, "2-я"_cp1251, "3-я"_cp1251, "4-я"_cp1251,
              "5-я"_cp1251);
  AddTableRow(r, "--------", "------", "------", "------", "------", "------", "------");
  // By row of the cell grid: level, channel, BSIC, cell identity, band.
  static constexpr std::array<std::string_view, kGridRows> kRowLabels = {"RxLevel ", "BCCH", "BSIC", "Cell ID",
                                                                         "Диапазон"_cp1251};
  const auto& c = d.cells;
  for (std::size_t slot = 0; slot < kRowLabels.size(); ++slot) {
    AddTableRow(r, kRowLabels[slot], c[0][slot], c[1][slot], c[2][slot], c[3][slot], c[4][slot], c[5][slot]);
  }
  return r;
}

}  // namespace

void AddReportLine(std::string& report, std::string_view line) {
  report += line;
  report += "\r\n";
}

void AddReportField(std::string& report, std::string_view label, std::string_view value) {
  report += label;
  report += ": ";
  report += value;
  report += "\r\n";
}

std::string PadRight(std::string_view text, std::size_t width) {
  std::string padded(text.substr(0, width));
  padded.resize(width, ' ');
  return padded;
}

void AddTableRow(std::string& report, std::string_view c0, std::string_view c1, std::string_view c2,
                 std::string_view c3, std::string_view c4, std::string_view c5, std::string_view c6) {
  std::string row = PadRight(c0, 8);
  for (const std::string_view cell : {c1, c2, c3, c4, c5, c6}) {
    row += '|';
    row += PadRight(cell, 6);
  }
  AddReportLine(report, row);
}

std::string OpenFailedMessage(const std::string& fileName) {
  return std::string("Невозможно открыть файл протокола "_cp1251) + "\"" + platform::FileNameText(fileName) + "\"";
}

std::string ReadFailedMessage(const std::string& fileName) {
  return std::string("Невозможно прочитать протокол "_cp1251) + platform::FileNameText(fileName);
}

std::string DamagedMessage(const std::string& fileName) {
  return std::string("Файл протокола "_cp1251) + platform::FileNameText(fileName) + std::string(" поврежден"_cp1251);
}

namespace {

// Consumes records as they become available and keeps what the report needs. Consume reads
// serially; the fast scan (report_scan.h) hands over ordinary records' values and lets this
// class read every other record, so what is valid is decided here alone, by the VerdictKeeper
// every reader of a log shares. Neither path counts records or cycles: the report has no use for
// them, and its speed is the reader's (ReadLogVerdict counts them for a message).
class ReportBuilder final : public ScanSink {
 public:
  explicit ReportBuilder(const std::string& fileName) : fileName_(fileName), keeper_(false) {
    InitLogReader(reader_, nullptr, 0);
    text_.reserve(kMaxLogText);
  }

  // Points the reader at the bytes held now; the running states carry on.
  void SetData(const std::uint8_t* data, std::size_t size) {
    reader_.Data = data;
    reader_.Size = size;
    reader_.Pos = 0;
  }

  // Reads records until reading stops. False once reading has stopped for good.
  bool Consume() {
    for (;;) {
      if (!ReadOne(reader_.Pos)) return false;
    }
  }

  LogReport Finish(std::uint64_t totalBytes) const {
    LogReport result;
    result.verdict = keeper_.Finish(totalBytes);
    if (!result.verdict.reportable) {
      result.error = DamagedMessage(fileName_);
      return result;
    }
    result.ok = true;
    result.text = Layout(data_);
    return result;
  }

  const std::uint8_t* Destinations() const override;

  void StoreValue(std::int32_t code, std::string_view text) override {
    code_ = code;
    text_.assign(text);
    Store();
  }

  bool ReadSerially(const std::uint8_t* raw, std::size_t size, std::size_t& pos, const TXorState& xorState,
                    const TCrcState& crc, std::uint64_t fileOffset) override {
    reader_.Data = raw;
    reader_.Size = size;
    reader_.Pos = pos;
    reader_.Xor = xorState;
    reader_.Crc = crc;
    const bool more = ReadOne(fileOffset);
    pos = reader_.Pos;
    return more;
  }

 private:
  // The record at the reader's position, whose first byte is at offset of the file.
  bool ReadOne(std::uint64_t offset) {
    const std::size_t from = reader_.Pos;
    ReadStop stop = ReadStop::none;
    if (!ReadLogRecord(reader_, code_, text_, &stop)) {
      keeper_.Stop(offset, stop);
      return false;
    }
    // An ordinary record tells a keeper that counts nothing nothing: only its value is kept.
    if ((code_ == kChecksumCode || stop != ReadStop::none) && !Judge(offset, offset + (reader_.Pos - from), stop)) {
      return false;
    }
    Store();
    return true;
  }

  // A seal, or a record the end of the data cut: false when it is a mismatching seal. Out of the
  // loop of ordinary records, which it would only slow.
  [[gnu::noinline]] bool Judge(std::uint64_t offset, std::uint64_t end, ReadStop stop) {
    return keeper_.Record(offset, end, code_, text_, stop, reader_.ExpectedChecksum) != ChecksumCheck::mismatch;
  }

  void Store() {
    FieldRoute route;
    if (RouteOf(code_, route)) {
      std::string& value = data_.values[route.value];
      value = text_;
      if (route.blank) value += ' ';
      value += route.unit;
    }
    const std::int32_t group = code_ / 1024 - 1;
    if (group >= 0 && group < kShownGroups) {
      const int slot = SlotOf(code_ % 1024);
      if (slot >= 0) data_.cells[static_cast<std::size_t>(group)][static_cast<std::size_t>(slot)] = text_;
    }
  }

  const std::string& fileName_;
  TLogReader reader_;
  VerdictKeeper keeper_;
  ReportData data_;
  std::int32_t code_ = 0;
  std::string text_;
};

// The report values records set, numbered densely as ScanSink asks: the summary's, then the fields
// the report shows on a line of their own, then the cells of the table.
constexpr std::size_t kSummaryValues = static_cast<std::size_t>(ReportValue::firstField);
constexpr auto kLineNumberOfRow = [] {
  std::array<std::size_t, parser::kFieldTable.size()> numbers{};
  std::size_t next = kSummaryValues;
  for (std::size_t row = 0; row < numbers.size(); ++row) numbers[row] = parser::kFieldTable[row].inReport ? next++ : 0;
  return numbers;
}();
constexpr std::size_t kLineValues = [] {
  std::size_t lines = kSummaryValues;
  for (const parser::FieldInfo& field : parser::kFieldTable) lines += field.inReport ? 1 : 0;
  return lines;
}();

const std::uint8_t* ReportBuilder::Destinations() const {
  static_assert(1 + kLineValues + kShownGroups * parser::kGridRows < 64, "one bit per report value");
  static_assert(kChecksumCode < kScanCodes);
  static const auto table = [] {
    std::array<std::uint8_t, kScanCodes> t{};
    for (std::int32_t code = 0; code < kScanCodes; ++code) {
      FieldRoute route;
      const bool field = RouteOf(code, route);
      const std::int32_t group = code / 1024 - 1;
      const int slot = group >= 0 && group < kShownGroups ? SlotOf(code % 1024) : -1;
      std::uint8_t& destination = t[static_cast<std::size_t>(code)];
      if (code == kChecksumCode || (field && slot >= 0)) {
        destination = kScanSerial;
      } else if (field) {
        const std::size_t line =
            route.value < kSummaryValues ? route.value : kLineNumberOfRow[route.value - kSummaryValues];
        destination = static_cast<std::uint8_t>(1 + line);
      } else if (slot >= 0) {
        destination = static_cast<std::uint8_t>(1 + kLineValues + static_cast<std::size_t>(group) * parser::kGridRows +
                                                static_cast<std::size_t>(slot));
      }
    }
    return t;
  }();
  return table.data();
}

}  // namespace

LogReport BuildLogReportSerial(const std::uint8_t* data, std::size_t size, const std::string& fileName) {
  if (data == nullptr || size == 0) return {false, {}, ReadFailedMessage(fileName)};
  ReportBuilder builder(fileName);
  builder.SetData(data, size);
  builder.Consume();
  return builder.Finish(size);
}

LogReport BuildLogReportFromData(const std::uint8_t* data, std::size_t size, const std::string& fileName,
                                 const ScanOptions& options) {
  ReportBuilder builder(fileName);
  if (ScanLogData(data, size, builder, options) != ScanResult::done) return {false, {}, ReadFailedMessage(fileName)};
  return builder.Finish(size);
}

LogReport BuildLogReportFromData(const std::uint8_t* data, std::size_t size, const std::string& fileName) {
  return BuildLogReportFromData(data, size, fileName, ScanOptions{});
}

LogReport BuildLogReportWith(const std::string& fileName, const ScanOptions& options) {
  const platform::ReadOnlyFile file(fileName);
  // A FIFO or a device is refused at once rather than read for ever.
  if (file.IsFolder()) return {false, {}, ReadFailedMessage(fileName), file.Error()};
  if (file.Fd() < 0) return {false, {}, OpenFailedMessage(fileName), file.Error()};
  struct stat info {};
  if (::fstat(file.Fd(), &info) != 0) {
    return {false, {}, ReadFailedMessage(fileName), platform::DecodeSystemError(errno)};
  }

  ReportBuilder builder(fileName);
  const bool regular = S_ISREG(info.st_mode);
  const std::size_t sizeHint = regular && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
  if (ScanLogFile(file.Fd(), regular, sizeHint, builder, options) != ScanResult::done) {
    return {false, {}, ReadFailedMessage(fileName)};
  }
  return builder.Finish(sizeHint);
}

LogReport BuildLogReportChunked(const std::string& fileName, std::size_t chunkSize) {
  ScanOptions options;
  options.readChunk = chunkSize;
  return BuildLogReportWith(fileName, options);
}

LogReport BuildLogReport(const std::string& fileName) { return BuildLogReportWith(fileName, ScanOptions{}); }

}  // namespace gsmlog
