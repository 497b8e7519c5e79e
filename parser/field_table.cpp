#include "parser/field_table.h"

#include <algorithm>

#include "platform/text_encoding.h"

namespace parser {

using namespace platform::literals;

constexpr std::array<FieldInfo, 18> kFieldTable = {{
    {.code = fcImei,
     .key = "imei",
     .control = "txtImei",
     .label = "IMEI:",
     .sweep = Sweep::identity,
     .servingOnly = true,
     .logPlain = LogPlain::kept,
     .logName = "imei",
     .inReport = true},
    {.code = fcManufacturer,
     .key = "manufacturer",
     .control = "txtManufacturer",
     .label = "Производитель:"_cp1251,
     .sweep = Sweep::identity,
     .servingOnly = true},
    {.code = fcModel,
     .key = "model",
     .control = "txtModel",
     .label = "Модель:"_cp1251,
     .sweep = Sweep::identity,
     .servingOnly = true,
     .logPlain = LogPlain::kept,
     .logName = "model",
     .inReport = true},
    {.code = fcFirmware,
     .key = "firmware",
     .control = "txtFirmware",
     .label = "Версия:"_cp1251,
     .sweep = Sweep::identity,
     .servingOnly = true},
    {.code = fcImsi,
     .key = "imsi",
     .servingOnly = true,
     .logPlain = LogPlain::kept,
     .logName = "imsi",
     .inReport = true},
    {.code = fcReserved, .key = "reserved"},
    {.code = fcCountry,
     .key = "country",
     .control = "txtCountry",
     .label = "Страна:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logName = "country",
     .inReport = true},
    {.code = fcOperator,
     .key = "operator",
     .control = "txtOperator",
     .label = "Оператор:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logName = "operator",
     .inReport = true},
    // The window has no control for the location area.
    {.code = fcLocalArea, .key = "lac", .logPlain = LogPlain::record, .logName = "lac", .inReport = true},
    {.code = fcFreqBand,
     .key = "band",
     .control = "txtFreqBand",
     .label = "Диапазон:"_cp1251,
     .gridRow = 4,
     .gridSuffix = "Band",
     .gridLabel = "GSM:",
     .sweep = Sweep::everyCycle,
     .logPerCell = true,
     .statistic = Statistic::band,
     .logName = "band"},
    {.code = fcBaseStation,
     .key = "bsic",
     .control = "txtBaseStation",
     .label = "BSIC:",
     .gridRow = 2,
     .gridSuffix = "BSIC",
     .gridLabel = "BSIC:",
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logPerCell = true,
     .logName = "bsic",
     .inReport = true},
    {.code = fcCell,
     .key = "cell_id",
     .control = "txtCell",
     .label = "Сота:"_cp1251,
     .gridRow = 3,
     .gridSuffix = "Cell",
     .gridLabel = "Сота:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logPerCell = true,
     .logName = "cellid",
     .inReport = true},
    {.code = fcRxLevel,
     .key = "rxlevel_dbm",
     .control = "txtRxLevel",
     .label = "Уровень:"_cp1251,
     .unit = "dBm",
     .gridRow = 0,
     .gridSuffix = "Rx",
     .gridLabel = "Уровень:"_cp1251,
     .levelBar = true,
     .graph = true,
     .sweep = Sweep::everyCycle,
     .logPerCell = true,
     .statistic = Statistic::rxLevel,
     .logName = "rxlevel"},
    {.code = fcChannel,
     .key = "channel",
     .control = "txtChannel",
     .label = "Канал:"_cp1251,
     .gridRow = 1,
     .gridSuffix = "Ch",
     .gridLabel = "Канал:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPerCell = true,
     .logName = "channel"},
    {.code = fcRxQuality,
     .key = "rxqual",
     .control = "txtRxQuality",
     .label = "Качество:"_cp1251,
     .sweep = Sweep::everyCycle},
    {.code = fcBitError,
     .key = "ber_percent",
     .control = "txtBitError",
     .label = "Потери:"_cp1251,
     .unit = "%",
     .sweep = Sweep::everyCycle,
     .servingOnly = true,
     .statistic = Statistic::bitError},
    // A distance in km; the window has no control for it.
    {.code = fcTimingAdvance,
     .key = "distance_km",
     .unit = "km",
     .logPlain = LogPlain::summary,
     .statistic = Statistic::distance,
     .logName = "distance",
     .inReport = true},
    {.code = fcPhoneState, .key = "phone_state", .servingOnly = true},
}};

namespace {

// Built when the program is compiled, so the table's lookups keep no state of their own, and a
// row that breaks what the readers rely on does not compile.
constexpr std::array<std::int8_t, kCellCodeStep> kRowOf = [] {
  std::array<std::int8_t, kCellCodeStep> rows{};
  rows.fill(-1);
  for (std::size_t i = 0; i < kFieldTable.size(); ++i)
    rows[static_cast<std::size_t>(kFieldTable[i].code)] = static_cast<std::int8_t>(i);
  return rows;
}();

constexpr std::array<const FieldInfo*, kGridRows> kGridRowOf = [] {
  std::array<const FieldInfo*, kGridRows> rows{};
  for (const FieldInfo& field : kFieldTable) {
    if (field.gridRow >= 0) rows[static_cast<std::size_t>(field.gridRow)] = &field;
  }
  return rows;
}();

constexpr bool CodesAscendWithinOneCellStep() {
  int previous = 0;
  for (const FieldInfo& field : kFieldTable) {
    if (field.code <= previous || field.code >= kCellCodeStep) return false;
    previous = field.code;
  }
  return true;
}
static_assert(CodesAscendWithinOneCellStep(), "one row per field code, in code order");

constexpr bool EveryGridRowTaken() {
  int rows = 0;
  for (const FieldInfo& field : kFieldTable) rows += field.gridRow >= 0 ? 1 : 0;
  for (const FieldInfo* field : kGridRowOf) {
    if (field == nullptr) return false;
  }
  return rows == kGridRows;
}
static_assert(EveryGridRowTaken(), "each grid row has exactly one field");

}  // namespace

const FieldInfo* FindField(int fieldCode) {
  const int index = FieldIndex(fieldCode);
  return index < 0 ? nullptr : &kFieldTable[static_cast<std::size_t>(index)];
}

int FieldIndex(int fieldCode) {
  if (fieldCode < 0 || fieldCode >= kCellCodeStep) return -1;
  return kRowOf[static_cast<std::size_t>(fieldCode)];
}

const FieldInfo& GridField(int gridRow) {
  return *kGridRowOf[static_cast<std::size_t>(std::clamp(gridRow, 0, kGridRows - 1))];
}

}  // namespace parser
