#include "log/log_viewer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "log/log_record.h"
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
constexpr std::size_t kReportValues = static_cast<std::size_t>(ReportValue::firstField) + parser::kFieldTable.size();

struct FieldRoute {
  std::size_t value;      // index into ReportData::values
  std::string_view unit;  // appended to the text as it is
  bool blank = false;     // a blank goes between the text and the unit
};

constexpr FieldRoute Route(ReportValue value, std::string_view unit) { return {static_cast<std::size_t>(value), unit}; }

// Which report value a record code sets, and the unit appended on storing; false for none.
bool RouteOf(std::int32_t code, FieldRoute& route) {
  switch (code) {
    case kSummaryDateCode:
      route = Route(ReportValue::date, "");
      return true;
    case kSummaryStartCode:
      route = Route(ReportValue::start, "");
      return true;
    case kSummaryEndCode:
      route = Route(ReportValue::end, "");
      return true;
    case kRxLevelMaxCode:
      route = Route(ReportValue::rxMax, " dBm");
      return true;
    case kRxLevelMinCode:
      route = Route(ReportValue::rxMin, " dBm");
      return true;
    case kRxLevelAverageCode:
      route = Route(ReportValue::rxAverage, " dBm");
      return true;
    case kBitErrorMaxCode:
      route = Route(ReportValue::berMax, "%");
      return true;
    case kBitErrorMinCode:
      route = Route(ReportValue::berMin, "%");
      return true;
    case kBitErrorAverageCode:
      route = Route(ReportValue::berAverage, "%");
      return true;
    case kBand900ShareCode:
      route = Route(ReportValue::band900, "%");
      return true;
    case kBand1800ShareCode:
      route = Route(ReportValue::band1800, "%");
      return true;
    default:
      break;
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

// Consumes records as they become available and keeps what the report needs.
class ReportBuilder {
 public:
  explicit ReportBuilder(const std::string& fileName) : fileName_(fileName) {
    InitLogReader(reader_, nullptr, 0);
    text_.reserve(kMaxLogText);
  }

  // Points the reader at the bytes held now; the running states carry on.
  void SetData(const std::uint8_t* data, std::size_t size) {
    reader_.Data = data;
    reader_.Size = size;
    reader_.Pos = 0;
  }
  std::size_t Pos() const { return reader_.Pos; }

  // Reads records until reading stops, or (when more data may follow) until fewer bytes than a
  // whole record remain. False once reading has stopped for good.
  bool Consume(bool atEnd) {
    for (;;) {
      if (!atEnd && reader_.Size - reader_.Pos < kMaxLogRecord) return true;
      if (!ReadLogRecord(reader_, code_, text_, &stop_)) return false;
      if (!Store()) return false;
    }
  }

  LogReport Finish() const {
    LogReport result;
    if (damaged_ || !verified_) {
      result.error = DamagedMessage(fileName_);
      return result;
    }
    result.ok = true;
    result.text = Layout(data_);
    return result;
  }

 private:
  bool Store() {
    FieldRoute route;
    if (RouteOf(code_, route)) {
      std::string& value = data_.values[route.value];
      value = text_;
      if (route.blank) value += ' ';
      value += route.unit;
    } else if (code_ == kChecksumCode && stop_ != ReadStop::textCut) {
      // A checksum record cut by the end of the file, like one with an empty text, verifies
      // nothing either way; only a whole matching one makes the file sound.
      if (text_ != reader_.ExpectedChecksum) {
        damaged_ = true;
        return false;
      }
      verified_ = true;
    }
    const std::int32_t group = code_ / 1024 - 1;
    if (group >= 0 && group < kShownGroups) {
      const int slot = SlotOf(code_ % 1024);
      if (slot >= 0) data_.cells[static_cast<std::size_t>(group)][static_cast<std::size_t>(slot)] = text_;
    }
    return true;
  }

  const std::string& fileName_;
  TLogReader reader_;
  ReportData data_;
  std::int32_t code_ = 0;
  std::string text_;
  ReadStop stop_ = ReadStop::none;
  bool damaged_ = false;   // a whole checksum record did not match
  bool verified_ = false;  // a whole checksum record matched
};

}  // namespace

LogReport BuildLogReportFromData(const std::uint8_t* data, std::size_t size, const std::string& fileName) {
  if (data == nullptr || size == 0) return {false, {}, ReadFailedMessage(fileName)};
  ReportBuilder builder(fileName);
  builder.SetData(data, size);
  builder.Consume(true);
  return builder.Finish();
}

LogReport BuildLogReportChunked(const std::string& fileName, std::size_t chunkSize) {
  const platform::ReadOnlyFile file(fileName);
  // A FIFO or a device is refused at once rather than read for ever.
  if (file.IsFolder()) return {false, {}, ReadFailedMessage(fileName), file.Error()};
  if (file.Fd() < 0) return {false, {}, OpenFailedMessage(fileName), file.Error()};

  // A record never straddles the end of what is held unless the file ends there: the buffer
  // keeps room for one whole record behind each chunk.
  const std::size_t capacity = (chunkSize > 0 ? chunkSize : 1) + kMaxLogRecord;
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
  ReportBuilder builder(fileName);
  std::size_t held = 0;
  std::size_t total = 0;
  for (;;) {
    const ssize_t got = ::read(file.Fd(), buffer.get() + held, capacity - held);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return {false, {}, ReadFailedMessage(fileName), platform::DecodeSystemError(errno)};
    const bool atEnd = got == 0;
    if (atEnd && total == 0) return {false, {}, ReadFailedMessage(fileName)};
    held += static_cast<std::size_t>(got);
    total += static_cast<std::size_t>(got);
    builder.SetData(buffer.get(), held);
    if (!builder.Consume(atEnd) || atEnd) break;
    const std::size_t used = builder.Pos();
    std::memmove(buffer.get(), buffer.get() + used, held - used);
    held -= used;
  }
  return builder.Finish();
}

LogReport BuildLogReport(const std::string& fileName) { return BuildLogReportChunked(fileName, 1u << 20); }

}  // namespace gsmlog
