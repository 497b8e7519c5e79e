#pragma once
// The exchanges of one connection, each a positional conversation with the modem on the active
// port. Every function holds the modem's command lock for its exchange, so a call started from
// the window cannot take the poll's lines (and the poll never takes the call's).

namespace core {

// "ATZ" and "ATE". True when the modem confirmed "ATE".
bool ResetModem();

// Firmware, IMEI, manufacturer and model, in this order; false at the first failed query.
bool QueryIdentity();

// The serving-cell exchange ("AT^MONI"); false ends the poll. refused, when given, tells whether
// the modem refused the report ("ERROR", "+CME ERROR: ...") while it was awaited.
bool PollServingCell(bool* refused = nullptr);

// The neighbour exchange ("AT^MONP"); false (a failed send or no header) ends the poll. Rows
// that fail to arrive or parse, and a missing closing "OK", do not. Up to six rows, cells 1..6;
// a line "OK" or "ERROR" where a row is due ends the report.
bool PollNeighbourCells();

}  // namespace core
