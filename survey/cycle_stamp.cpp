#include "survey/cycle_stamp.h"

#include "log/log_record.h"
#include "log/log_writer.h"
#include "survey/survey_text.h"

namespace survey {

CycleStamp StampCycle(std::optional<gps::Fix> fresh) { return {std::chrono::system_clock::now(), std::move(fresh)}; }

void HoldCycleRecords(const CycleStamp& stamp) {
  if (!gsmlog::HoldLogRecord(gsmlog::lcCycleTime, FormatLocalTime(stamp.time))) return;
  if (stamp.fix) gsmlog::HoldLogRecord(gsmlog::lcCyclePosition, FormatPosition(*stamp.fix));
}

}  // namespace survey
