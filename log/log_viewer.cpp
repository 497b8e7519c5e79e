#include "log/log_viewer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "log/log_record.h"
#include "log/report_scan.h"
#include "parser/measurement_fields.h"
#include "platform/file_name.h"
#include "platform/read_only_file.h"
#include "platform/text_encoding.h"

namespace gsmlog {

using namespace platform::literals;

namespace {

enum Field : std::size_t {
  fDate,
  fStart,
  fEnd,
  fImei,
  fModel,
  fImsi,
  fCountry,
  fOperator,
  fCell,
  fBsic,
  fLocalArea,
  fRxMax,
  fRxMin,
  fRxAverage,
  fBerMax,
  fBerMin,
  fBerAverage,
  fBand900,
  fBand1800,
  fDistance,
  fieldCount,
};

struct FieldRoute {
  Field field;
  std::string_view unit;
};

// Which report field a record code sets, and the unit appended on storing; false for none.
bool RouteOf(std::int32_t code, FieldRoute& route) {
  switch (code) {
    case lcSummaryDate:
      route = {fDate, ""};
      return true;
    case lcSummaryStart:
      route = {fStart, ""};
      return true;
    case lcSummaryEnd:
      route = {fEnd, ""};
      return true;
    case parser::fcImei:
      route = {fImei, ""};
      return true;
    case parser::fcModel:
      route = {fModel, ""};
      return true;
    case parser::fcImsi:
      route = {fImsi, ""};
      return true;
    case parser::fcCountry:
      route = {fCountry, ""};
      return true;
    case parser::fcOperator:
      route = {fOperator, ""};
      return true;
    case parser::fcCell:
      route = {fCell, ""};
      return true;
    case parser::fcBaseStation:
      route = {fBsic, ""};
      return true;
    case parser::fcLocalArea:
      route = {fLocalArea, ""};
      return true;
    case lcRxLevelMax:
      route = {fRxMax, " dBm"};
      return true;
    case lcRxLevelMin:
      route = {fRxMin, " dBm"};
      return true;
    case lcRxLevelAverage:
      route = {fRxAverage, " dBm"};
      return true;
    case lcBitErrorMax:
      route = {fBerMax, "%"};
      return true;
    case lcBitErrorMin:
      route = {fBerMin, "%"};
      return true;
    case lcBitErrorAverage:
      route = {fBerAverage, "%"};
      return true;
    case lcBand900Share:
      route = {fBand900, "%"};
      return true;
    case lcBand1800Share:
      route = {fBand1800, "%"};
      return true;
    case parser::fcTimingAdvance:
      route = {fDistance, " km"};
      return true;
    default:
      return false;
  }
}

constexpr int kShownGroups = 6;

// Table slot of a cell field, or -1.
int SlotOf(int field) {
  switch (field) {
    case parser::fcRxLevel:
      return 0;
    case parser::fcChannel:
      return 1;
    case parser::fcBaseStation:
      return 2;
    case parser::fcCell:
      return 3;
    case parser::fcFreqBand:
      return 4;
    default:
      return -1;
  }
}

struct ReportData {
  std::array<std::string, fieldCount> fields;
  std::array<std::array<std::string, 5>, kShownGroups> cells;

  ReportData() {
    for (auto& f : fields) f = parser::kNotAvailable;
    for (auto& group : cells) {
      for (auto& c : group) c = parser::kNotAvailable;
    }
  }
};

std::string Layout(const ReportData& d) {
  const auto& f = d.fields;
  std::string r;
  r.reserve(2048);
  AddReportField(r, "Дата"_cp1251, f[fDate]);
  AddReportField(r, "Время"_cp1251, f[fStart] + " - " + f[fEnd]);
  AddReportLine(r, "");
  AddReportLine(r, "Информация о модеме"_cp1251);
  AddReportLine(r, "-------------------");
  AddReportField(r, "IMEI", f[fImei]);
  AddReportField(r, "Модель"_cp1251, f[fModel]);
  AddReportLine(r, "");
  AddReportField(r, "IMSI-номер"_cp1251, f[fImsi]);
  AddReportField(r, "Страна"_cp1251, f[fCountry]);
  AddReportField(r, "Оператор"_cp1251, f[fOperator]);
  AddReportField(r, "Сота"_cp1251, f[fCell]);
  AddReportField(r, "BSIC", f[fBsic]);
  AddReportField(r, "Локальная зона"_cp1251, f[fLocalArea]);
  AddReportLine(r, "");
  AddReportLine(r, "Уровень сигнала"_cp1251);
  AddReportLine(r, "---------------");
  AddReportField(r, "Максимум"_cp1251, f[fRxMax]);
  AddReportField(r, "Минимум"_cp1251, f[fRxMin]);
  AddReportField(r, "Среднее"_cp1251, f[fRxAverage]);
  AddReportLine(r, "");
  AddReportLine(r, "Качество сигнала"_cp1251);
  AddReportLine(r, "----------------");
  AddReportField(r, "Максимум"_cp1251, f[fBerMax]);
  AddReportField(r, "Минимум"_cp1251, f[fBerMin]);
  AddReportField(r, "Среднее"_cp1251, f[fBerAverage]);
  AddReportLine(r, "");
  AddReportLine(r, "Используемые диапазоны"_cp1251);
  AddReportLine(r, "----------------------");
  AddReportField(r, "GSM 900", f[fBand900]);
  AddReportField(r, "GSM 1800", f[fBand1800]);
  AddReportLine(r, "");
  AddReportField(r, "Расстояние до БС"_cp1251, f[fDistance]);
  AddReportLine(r, "");
  AddTableRow(r, "Параметр"_cp1251, "Акт."_cp1251, "1-я"_cp1251, "2-я"_cp1251, "3-я"_cp1251, "4-я"_cp1251,
              "5-я"_cp1251);
  AddTableRow(r, "--------", "------", "------", "------", "------", "------", "------");
  static constexpr std::array<std::string_view, 5> kRowLabels = {"RxLevel ", "BCCH", "BSIC", "Cell ID",
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
// class read every other record, so what is valid is decided here alone.
class ReportBuilder final : public ScanSink {
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

  const std::uint8_t* Destinations() const override;

  void StoreValue(std::int32_t code, std::string_view text) override {
    code_ = code;
    text_.assign(text);
    stop_ = ReadStop::none;
    Store();
  }

  bool ReadSerially(const std::uint8_t* raw, std::size_t size, std::size_t& pos, const TXorState& xorState,
                    const TCrcState& crc) override {
    reader_.Data = raw;
    reader_.Size = size;
    reader_.Pos = pos;
    reader_.Xor = xorState;
    reader_.Crc = crc;
    const bool more = ReadLogRecord(reader_, code_, text_, &stop_) && Store();
    pos = reader_.Pos;
    return more;
  }

 private:
  bool Store() {
    FieldRoute route;
    if (RouteOf(code_, route)) {
      std::string& field = data_.fields[route.field];
      field = text_;
      field += route.unit;
    } else if (code_ == lcChecksum && stop_ != ReadStop::textCut) {
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

// The report value each code sets, numbered as ScanSink asks: fields first, then the table's cells.
const std::uint8_t* ReportBuilder::Destinations() const {
  static_assert(1 + fieldCount + kShownGroups * 5 < 64, "one bit per report value");
  static_assert(lcChecksum < kScanCodes);
  static const auto table = [] {
    std::array<std::uint8_t, kScanCodes> t{};
    for (std::int32_t code = 0; code < kScanCodes; ++code) {
      FieldRoute route;
      const bool field = RouteOf(code, route);
      const std::int32_t group = code / 1024 - 1;
      const int slot = group >= 0 && group < kShownGroups ? SlotOf(code % 1024) : -1;
      std::uint8_t& destination = t[static_cast<std::size_t>(code)];
      if (code == lcChecksum || (field && slot >= 0)) {
        destination = kScanSerial;
      } else if (field) {
        destination = static_cast<std::uint8_t>(1 + route.field);
      } else if (slot >= 0) {
        destination = static_cast<std::uint8_t>(1 + fieldCount + static_cast<std::size_t>(group * 5 + slot));
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
  builder.Consume(true);
  return builder.Finish();
}

LogReport BuildLogReportFromData(const std::uint8_t* data, std::size_t size, const std::string& fileName,
                                 const ScanOptions& options) {
  ReportBuilder builder(fileName);
  if (ScanLogData(data, size, builder, options) != ScanResult::done) return {false, {}, ReadFailedMessage(fileName)};
  return builder.Finish();
}

LogReport BuildLogReportFromData(const std::uint8_t* data, std::size_t size, const std::string& fileName) {
  return BuildLogReportFromData(data, size, fileName, ScanOptions{});
}

LogReport BuildLogReportWith(const std::string& fileName, const ScanOptions& options) {
  const platform::ReadOnlyFile file(fileName);
  // A FIFO or a device is refused at once rather than read for ever.
  if (file.status() == platform::ReadOnlyFile::Status::folder) return {false, {}, ReadFailedMessage(fileName)};
  if (file.fd() < 0) return {false, {}, OpenFailedMessage(fileName)};
  struct stat info {};
  if (::fstat(file.fd(), &info) != 0) return {false, {}, ReadFailedMessage(fileName)};

  ReportBuilder builder(fileName);
  const bool regular = S_ISREG(info.st_mode);
  const std::size_t sizeHint = regular && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
  if (ScanLogFile(file.fd(), regular, sizeHint, builder, options) != ScanResult::done) {
    return {false, {}, ReadFailedMessage(fileName)};
  }
  return builder.Finish();
}

LogReport BuildLogReportChunked(const std::string& fileName, std::size_t chunkSize) {
  ScanOptions options;
  options.readChunk = chunkSize;
  return BuildLogReportWith(fileName, options);
}

LogReport BuildLogReport(const std::string& fileName) { return BuildLogReportWith(fileName, ScanOptions{}); }

}  // namespace gsmlog
