#pragma once
// Events of a run: the serving cell, its location area or its band changed, its level fell below a
// threshold or rose to it again, the connection started, ended or was lost. The detector compares
// each poll cycle's serving-cell values with the last ones known; the texts here are the events'
// log record, their headless name and what the history window writes beside a marker.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parser/measurement_fields.h"

namespace history {

enum class EventKind {
  servingCell,    // reselection or handover: another cell serves
  areaChanged,    // another location area
  bandChanged,    // GSM 900 <-> GSM 1800 (E-GSM counts as GSM 900)
  levelLow,       // the serving level stayed below the threshold for kLevelHoldCycles cycles
  levelRestored,  // and then kLevelHysteresisDb or more above it for as many
  connectionStarted,
  connectionEnded,  // ended by the user or the program
  connectionLost,   // ended by itself: the modem stopped answering
};

struct CellEvent {
  EventKind kind{};
  std::string from, to;  // Windows-1251 value texts; empty when they do not apply
  int threshold = 0;     // dBm, for the level events
  std::chrono::system_clock::time_point time{};
};

// The machine name of a kind: "serving_cell", "area", "band", "level_low", "level_restored",
// "connection_started", "connection_ended", "connection_lost".
std::string_view EventKey(EventKind kind);
std::optional<EventKind> EventKindOf(std::string_view key);

// What a person reads about an event, Windows-1251: "Смена соты: 1A2B → 3C4D".
std::string EventText(const CellEvent& event);

// The event's log record text: "TIME;KEY;FROM;TO;THRESHOLD" with the local time as the cycle time
// record writes it; ';' inside a value becomes '?'. ParseEventRecord reads it back; nothing for
// any other text.
std::string FormatEventRecord(const CellEvent& event);
std::optional<CellEvent> ParseEventRecord(std::string_view text);

// Level events do not flap with a level that wanders around the threshold: the level must stay
// below the threshold for kLevelHoldCycles cycles in a row for level_low, and then at least
// kLevelHysteresisDb above it for as many for level_restored.
inline constexpr int kLevelHysteresisDb = 3;
inline constexpr int kLevelHoldCycles = 3;

// Compares poll cycles of one connection. Feed it every serving-cell value of a cycle, then end
// the cycle. Values not reported in a cycle ("(n/a)" or missing) keep the last ones known, so a
// cycle without a report neither fires nor hides a change. Not thread-safe: one thread feeds it.
class EventDetector {
 public:
  explicit EventDetector(int thresholdDbm = kDefaultThreshold) : threshold_(thresholdDbm) {}

  static constexpr int kDefaultThreshold = -100;

  // A new connection: forgets the previous one's values.
  void Reset();
  void SetThreshold(int dbm) { threshold_ = dbm; }
  int Threshold() const { return threshold_; }

  // One dispatched value; only the serving cell's (cell index 0) matter.
  void Field(int fieldCode, int cellIndex, const parser::FieldValue& value);
  // The end of a poll cycle at time: its events, in the order serving cell, area, band, level.
  std::vector<CellEvent> CycleEnded(std::chrono::system_clock::time_point time);

 private:
  struct Serving {
    std::string cell, channel, bsic, lac, band;
    std::optional<int> level;
  };
  static std::string Name(const Serving& s);

  int threshold_;
  Serving cycle_;                  // this cycle's values
  Serving known_;                  // the last values known
  bool below_ = false;             // the level event last given was level_low
  int streak_ = 0;                 // cycles in a row whose level points the other way
  std::optional<int> streakFrom_;  // the level known before the streak began
};

}  // namespace history
