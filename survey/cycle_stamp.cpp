#include "survey/cycle_stamp.h"

#include "log/log_record.h"
#include "log/log_writer.h"
#include "survey/survey_text.h"

namespace survey {

CycleStamp StampCycle(std::optional<gps::Fix> fresh) { return {std::chrono::system_clock::now(), std::move(fresh)}; }

void HoldCycleRecords(gsmlog::TLogWriter& writer, const CycleStamp& stamp) {
  if (!writer.Hold(gsmlog::kCycleTimeCode, FormatLocalTime(stamp.time))) return;
  if (stamp.fix) writer.Hold(gsmlog::kCyclePositionCode, FormatPosition(*stamp.fix));
}

void HoldCycleRecords(gsmlog::TLogWriter& writer, const radio::Cycle& cycle) {
  HoldCycleRecords(writer, CycleStamp{cycle.time, cycle.position});
}

}  // namespace survey
