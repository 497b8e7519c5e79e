#include "export/event_points.h"

#include "parser/measurement_fields.h"
#include "survey/survey_text.h"

namespace gsmexport {

void EventCollector::AddRecord(const std::string& text) {
  auto event = history::ParseEventRecord(text);
  if (!event) return;
  logged_.push_back({std::move(*event), text.substr(0, text.find(';')), lastCycle_, lastFix_});
}

void EventCollector::Add(const survey::SurveyCycle& cycle) {
  lastCycle_ = cycle.number;
  lastFix_ = cycle.fix;
  for (const std::string& text : cycle.events) AddRecord(text);
  if (!logged_.empty()) return;  // the log has its own: the detector is not needed

  const survey::CellTexts& serving = cycle.cells[0];
  const auto feed = [this](int code, const std::string& text) {
    if (!text.empty()) detector_.Field(code, 0, parser::TextValue(text));
  };
  feed(parser::fcCell, serving.cell);
  feed(parser::fcChannel, serving.channel);
  feed(parser::fcBaseStation, serving.bsic);
  feed(parser::fcRxLevel, serving.level);
  feed(parser::fcFreqBand, serving.band);
  feed(parser::fcLocalArea, cycle.lac);
  std::optional<std::chrono::system_clock::time_point> time;
  if (cycle.time) time = survey::ToTimePoint(*cycle.time);
  for (history::CellEvent& event : detector_.CycleEnded(time.value_or(std::chrono::system_clock::time_point{}))) {
    detected_.push_back(
        {std::move(event), cycle.time ? survey::FormatIsoTime(*cycle.time) : std::string(), cycle.number, cycle.fix});
  }
}

void EventCollector::Finish(const std::vector<std::string>& trailing) {
  for (const std::string& text : trailing) AddRecord(text);
}

}  // namespace gsmexport
