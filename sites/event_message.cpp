#include "sites/event_message.h"

#include "platform/text_encoding.h"
#include "survey/survey_text.h"

namespace sites {

nlohmann::json EventObject(const history::CellEvent& event) {
  nlohmann::json object{{"event", history::EventKey(event.kind)}, {"time", survey::FormatLocalTime(event.time)}};
  if (!event.from.empty()) object["from"] = platform::Cp1251ToPrintable(event.from);
  if (!event.to.empty()) object["to"] = platform::Cp1251ToPrintable(event.to);
  if (event.kind == history::EventKind::levelLow || event.kind == history::EventKind::levelRestored)
    object["threshold"] = event.threshold;
  return object;
}

}  // namespace sites
