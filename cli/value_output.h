#pragma once
// How the headless monitor prints each poll cycle: a JSON line (the object of the cycle message,
// sites/cycle_message.h), a CSV row under the same names (radio/cell_values.h; numbers with a
// decimal point, an empty cell for an absent value), or, in text form, a table of the serving
// cell and the six neighbours as the window shows them. Events are lines and rows of their own.
// Texts arrive in Windows-1251 and leave in UTF-8, control characters shown as '?'.

#include <functional>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "cli/display_model.h"
#include "gps/gps_fix.h"
#include "history/cell_events.h"
#include "radio/cycle.h"

namespace cli {

enum class OutputFormat { text, csv, jsonl };

// The CSV's columns: event, n, session, time, the position's names, the serving cell's (a GSM
// cell's names), each neighbour's with "n1_" .. "n6_" before them, then from, to and threshold
// of an event row.
std::vector<std::string> CsvColumns();

class ValueOutput {
 public:
  // rawFields: JSON lines also print every accepted value as the report delivered it
  // ({"cell":..,"code":..,"text":..}), for debugging.
  ValueOutput(OutputFormat format, std::ostream& out, bool rawFields = false);

  void Value(int fieldCode, int cellIndex, const std::string& text);
  // The end of a cycle, with its time and position (the same the log records); message is its
  // object (sites/cycle_message.h), the JSON line's; model what the window would show.
  void CycleEnded(const radio::Cycle& cycle, const DisplayModel& model, const nlohmann::ordered_json& message);
  void Error(const std::string& text);
  // An event of the run (a cell change, the level crossing its threshold, the connection's start
  // and end), as it is detected.
  void Event(const history::CellEvent& event);
  // Text form: each cycle's line also tells the GPS state, from status (called on the thread that
  // ends the cycle); address is gpsd's.
  void ShowGpsStatus(std::function<gps::GpsStatus()> status, std::string address);
  // The dialect of the run, which the connection's start event names.
  void SetDialect(std::string dialect) { dialect_ = std::move(dialect); }
  // A change of dialect or a refused command, as a JSON line of its own (not for the dialect
  // told at the start, which the start event carries).
  void DialectNote(std::string_view event, const std::string& dialect, const std::string& command, bool atStart);
  // True once a write has failed (checked at each cycle's end, where the output is flushed).
  bool Failed() const;

 private:
  void PrintTable(const radio::Cycle& cycle, const DisplayModel& model);
  void CsvHeader();

  OutputFormat format_;
  std::ostream& out_;
  bool rawFields_ = false;
  bool headerDone_ = false;
  std::string dialect_;
  std::function<gps::GpsStatus()> gpsStatus_;
  std::string gpsdAddress_;
};

}  // namespace cli
