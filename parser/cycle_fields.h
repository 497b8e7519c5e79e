#pragma once
// The one place where a value of the field report becomes a typed measure of the cycle record:
// a live report's values, a log's records and a version-1 cycle message all go through here.

#include <optional>
#include <string_view>
#include <vector>

#include "parser/measurement_fields.h"
#include "radio/cycle.h"

namespace parser {

// Puts one accepted value (field code 1..1023, cell index 0 the serving cell, 1..6 the
// neighbours) into cycle. A text that states no value of the field's range leaves the measure
// absent; identity fields fill cycle.identity. Cells outside 0..6 and codes of no field are
// ignored. The value is not added to cycle.delivered.
void ApplyField(radio::Cycle& cycle, int fieldCode, int cellIndex, const FieldValue& value);

// The reverse for the GSM cells of a cycle: the values the field report of the modem's own family
// gives for them, as the column table and the dispatcher make them (Windows-1251 texts such as
// "-75", "0,14", "5,5", "Россия", "01", "EGSM", with their numbers). The serving cell's fields and
// then each neighbour's, each cell in the field table's order; "(n/a)" for a measure the cell
// lacks. A neighbour with nothing known of it gives none. Cells of other technologies give none.
std::vector<radio::DeliveredField> FieldsOfCycle(const radio::Cycle& cycle);

// Puts an identity answer (IMEI, manufacturer, model, firmware, IMSI) into identity, as ApplyField
// does into a cycle's; other codes and cells outside 0..6 leave it as it is.
void ApplyIdentityField(radio::Identity& identity, int fieldCode, int cellIndex, const FieldValue& value);

// The cycle record's band of a band text the reports show ("900", "1800", "EGSM"); "" for others.
std::string_view BandName(std::string_view bandText);
// The reverse, for showing a GSM band as the window does; "" for a band that is no GSM band.
std::string_view BandText(std::string_view bandName);

}  // namespace parser
