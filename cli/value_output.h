#pragma once
// How the headless monitor prints: every accepted value as a CSV row or a JSON line, or, in text
// form, a table of the serving cell and the six neighbours after each poll cycle; each cycle's
// end with its time and GPS position. Texts arrive in Windows-1251 and leave in UTF-8, control
// characters shown as '?'.

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "cli/display_model.h"
#include "history/cell_events.h"
#include "survey/cycle_stamp.h"

namespace cli {

enum class OutputFormat { text, csv, jsonl };

// A short English name of a field code ("rxlevel", "bsic"), "" for an unknown one.
std::string_view FieldName(int fieldCode);

class ValueOutput {
 public:
  ValueOutput(OutputFormat format, std::ostream& out);

  void Value(int fieldCode, int cellIndex, const std::string& text);
  // The end of cycle n, with its time and position (the same the log records); cycle is its
  // object (sites/cycle_message.h), the JSON line's.
  void CycleEnded(int n, const DisplayModel& model, const survey::CycleStamp& stamp, const nlohmann::json& cycle);
  void Error(const std::string& text);
  // An event of the run (a cell change, the level crossing its threshold, the connection's start
  // and end), as it is detected.
  void Event(const history::CellEvent& event);
  // True once a write has failed (checked at each cycle's end, where the output is flushed).
  bool Failed() const;

 private:
  void PrintTable(int n, const DisplayModel& model, const survey::CycleStamp& stamp);

  OutputFormat format_;
  std::ostream& out_;
  bool headerDone_ = false;
};

}  // namespace cli
