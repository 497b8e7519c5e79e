#pragma once
// An event of a run as one JSON object: the headless tool's JSON line of it, and the message a
// site publishes under its event topic. Apart from the cycle messages, so that what reads cycle
// messages (the collector, the fuzz target) needs nothing of the live run.

#include <nlohmann/json.hpp>

#include "history/cell_events.h"

namespace sites {

nlohmann::json EventObject(const history::CellEvent& event);

}  // namespace sites
