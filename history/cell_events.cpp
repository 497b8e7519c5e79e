#include "history/cell_events.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "platform/text_encoding.h"
#include "survey/survey_text.h"

namespace history {
namespace {

using namespace platform::literals;
using parser::FieldCode;

struct KindRow {
  EventKind kind;
  std::string_view key;
  std::string_view caption;  // Windows-1251
};

constexpr auto kKinds = std::to_array<KindRow>({
    {EventKind::servingCell, "serving_cell", "Смена соты"_cp1251},
    {EventKind::areaChanged, "area", "Смена зоны (LAC)"_cp1251},
    {EventKind::bandChanged, "band", "Смена диапазона"_cp1251},
    {EventKind::levelLow, "level_low", "Уровень ниже порога"_cp1251},
    {EventKind::levelRestored, "level_restored", "Уровень восстановлен"_cp1251},
    {EventKind::connectionStarted, "connection_started", "Подключение"_cp1251},
    {EventKind::connectionEnded, "connection_ended", "Отключение"_cp1251},
    {EventKind::connectionLost, "connection_lost", "Связь с модемом прервана"_cp1251},
});

const KindRow& RowOf(EventKind kind) {
  for (const KindRow& row : kKinds)
    if (row.kind == kind) return row;
  return kKinds.front();
}

// E-GSM is the extended GSM 900 band: moving between the two is no change of band.
std::string_view BandGroup(std::string_view band) { return band == "EGSM" ? std::string_view("900") : band; }

std::string Clean(std::string_view text) {
  std::string out(text.substr(0, 40));
  for (char& c : out)
    if (c == ';' || static_cast<unsigned char>(c) < 0x20) c = '?';
  return out;
}

bool Differs(const std::string& a, const std::string& b) { return !a.empty() && !b.empty() && a != b; }

}  // namespace

std::string_view EventKey(EventKind kind) { return RowOf(kind).key; }

std::optional<EventKind> EventKindOf(std::string_view key) {
  for (const KindRow& row : kKinds)
    if (row.key == key) return row.kind;
  return std::nullopt;
}

std::string EventText(const CellEvent& event) {
  std::string text(RowOf(event.kind).caption);
  switch (event.kind) {
    case EventKind::levelLow:
    case EventKind::levelRestored:
      text +=
          ": " + event.to + " dBm (" + std::string("порог"_cp1251) + " " + std::to_string(event.threshold) + " dBm)";
      break;
    case EventKind::servingCell:
    case EventKind::areaChanged:
    case EventKind::bandChanged:
      // The arrow is not in Windows-1251.
      text += ": " + event.from + " -> " + event.to;
      break;
    default:
      break;
  }
  return text;
}

std::string FormatEventRecord(const CellEvent& event) {
  std::string text = survey::FormatLocalTime(event.time);
  text += ';';
  text += EventKey(event.kind);
  text += ';' + Clean(event.from) + ';' + Clean(event.to) + ';';
  if (event.kind == EventKind::levelLow || event.kind == EventKind::levelRestored)
    text += std::to_string(event.threshold);
  return text;
}

std::optional<CellEvent> ParseEventRecord(std::string_view text) {
  std::array<std::string_view, 5> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t end = i + 1 < parts.size() ? text.find(';', start) : text.size();
    if (end == std::string_view::npos) return std::nullopt;
    parts[i] = text.substr(start, end - start);
    start = end + 1;
  }
  if (parts[4].find(';') != std::string_view::npos) return std::nullopt;
  const auto iso = survey::ParseIsoTime(parts[0]);
  const auto time = iso ? survey::ToTimePoint(*iso) : std::nullopt;
  const auto kind = EventKindOf(parts[1]);
  if (!time || !kind) return std::nullopt;
  CellEvent event{*kind, std::string(parts[2]), std::string(parts[3]), 0, *time};
  if (!parts[4].empty()) {
    const auto [end, error] = std::from_chars(parts[4].data(), parts[4].data() + parts[4].size(), event.threshold);
    if (error != std::errc() || end != parts[4].data() + parts[4].size()) return std::nullopt;
  }
  return event;
}

void EventDetector::Reset() {
  cycle_ = Serving{};
  known_ = Serving{};
  below_ = false;
  streak_ = 0;
  streakFrom_.reset();
}

void EventDetector::Field(int fieldCode, int cellIndex, const parser::FieldValue& value) {
  if (cellIndex != 0 || value.text.empty() || value.text == parser::kNotAvailable) return;
  switch (fieldCode) {
    case parser::fcCell:
      cycle_.cell = value.text;
      break;
    case parser::fcChannel:
      cycle_.channel = value.text;
      break;
    case parser::fcBaseStation:
      cycle_.bsic = value.text;
      break;
    case parser::fcLocalArea:
      cycle_.lac = value.text;
      break;
    case parser::fcFreqBand:
      cycle_.band = value.text;
      break;
    case parser::fcRxLevel:
      if (value.number && std::isfinite(*value.number)) cycle_.level = static_cast<int>(std::lround(*value.number));
      break;
    default:
      break;
  }
}

std::string EventDetector::Name(const Serving& s) {
  std::string name = s.cell.empty() ? std::string("?") : s.cell;
  if (!s.channel.empty() || !s.bsic.empty())
    name += " (" + (s.channel.empty() ? "?" : s.channel) + ", " + (s.bsic.empty() ? "?" : s.bsic) + ")";
  return name;
}

std::vector<CellEvent> EventDetector::CycleEnded(std::chrono::system_clock::time_point time) {
  std::vector<CellEvent> events;
  Serving now = std::exchange(cycle_, Serving{});
  const Serving before = known_;
  // The cell identity decides when both cycles have one; channel and BSIC otherwise.
  const bool cellChanged = !now.cell.empty() && !before.cell.empty()
                               ? now.cell != before.cell
                               : Differs(now.channel, before.channel) || Differs(now.bsic, before.bsic);
  // What this cycle did not report is what was known.
  const auto keep = [](std::string& value, const std::string& old) {
    if (value.empty()) value = old;
  };
  if (cellChanged) {
    // A new cell's identity parts that did not come are unknown, not the old cell's.
    events.push_back({EventKind::servingCell, Name(before), Name(now), 0, time});
  } else {
    keep(now.cell, before.cell);
    keep(now.channel, before.channel);
    keep(now.bsic, before.bsic);
  }
  if (Differs(now.lac, before.lac)) events.push_back({EventKind::areaChanged, before.lac, now.lac, 0, time});
  if (!now.band.empty() && !before.band.empty() && BandGroup(now.band) != BandGroup(before.band))
    events.push_back({EventKind::bandChanged, before.band, now.band, 0, time});
  keep(now.lac, before.lac);
  keep(now.band, before.band);
  if (now.level) {
    const bool crossing = below_ ? *now.level >= threshold_ + kLevelHysteresisDb : *now.level < threshold_;
    if (!crossing) {
      streak_ = 0;
    } else if (streak_++ == 0) {
      streakFrom_ = before.level;
    }
    if (streak_ >= kLevelHoldCycles) {
      below_ = !below_;
      streak_ = 0;
      const std::string from = streakFrom_ ? std::to_string(*streakFrom_) : std::string();
      events.push_back({below_ ? EventKind::levelLow : EventKind::levelRestored, from, std::to_string(*now.level),
                        threshold_, time});
    }
  } else {
    now.level = before.level;
  }
  known_ = std::move(now);
  return events;
}

}  // namespace history
