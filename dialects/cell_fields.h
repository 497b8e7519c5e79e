#pragma once
// A cell's values taken from a report's fields, each kept only inside its 3GPP range: a
// placeholder or a number outside the range leaves the value absent.

#include <optional>
#include <string_view>

#include "radio/cycle.h"

namespace dialects {

// MCC 1..999 and MNC 0..999 (MNC "00" is 0).
void SetPlmn(radio::Cell& cell, std::optional<long long> mcc, std::optional<long long> mnc);
// "25001", "250 01", "250-01": MCC and MNC of a numeric operator text (MNC of two or three digits).
void SetPlmnText(radio::Cell& cell, std::string_view text);
// The channel in the range of the cell's technology (ARFCN 0..1023, UARFCN 0..16383, EARFCN
// 0..262143, NR-ARFCN 0..3279165); a GSM cell also gets the band of its ARFCN.
void SetChannel(radio::Cell& cell, std::optional<long long> channel);
// LAC 1..65533 (0, FFFE and FFFF mean none); TAC 1..16777213.
void SetLac(radio::Cell& cell, std::optional<long long> lac);
void SetTac(radio::Cell& cell, std::optional<long long> tac);
// The area of the cell's technology: LAC for GSM and WCDMA, TAC for LTE and NR.
void SetArea(radio::Cell& cell, std::optional<long long> area);
// Cell identity: 16 bits (GSM), 28 bits (WCDMA, LTE), 36 bits (NR).
void SetCellId(radio::Cell& cell, std::optional<long long> cellId);

// The band of a GSM ARFCN ("GSM900", "EGSM900", "GSM1800", "GSM850"), "" for none.
std::string_view GsmBandOfArfcn(int arfcn);
// "B3" of an LTE band number, "n78" of an NR band number; "" outside 1..255.
std::string LteBand(std::optional<long long> band);
std::string NrBand(std::optional<long long> band);

// Measures inside their ranges.
std::optional<int> GsmRxLevelDbm(std::optional<long long> dbm);  // -120..-20
std::optional<int> RxLevToDbm(std::optional<long long> rxlev);   // RXLEV 0..63 -> dBm
std::optional<int> Bsic(std::optional<long long> bsic);          // 0..63
std::optional<int> RxQual(std::optional<long long> rxqual);      // 0..7
std::optional<int> TimingAdvance(std::optional<long long> ta);   // 0..63
std::optional<int> PathLoss(std::optional<long long> c);         // C1, C2: -200..200
std::optional<double> RscpDbm(std::optional<double> rscp);       // -125..-20
std::optional<double> EcnoDb(std::optional<double> ecno);        // -25..0
std::optional<double> LteRsrpDbm(std::optional<double> rsrp);    // -156..-44
std::optional<double> LteRsrqDb(std::optional<double> rsrq);     // -34..2.5
std::optional<double> RssiDbm(std::optional<double> rssi);       // -125..-10
std::optional<double> LteSinrDb(std::optional<double> sinr);     // -23..40
std::optional<double> NrRsrpDbm(std::optional<double> rsrp);     // -156..-31
std::optional<double> NrRsrqDb(std::optional<double> rsrq);      // -43..20
std::optional<double> NrSinrDb(std::optional<double> sinr);      // -23..40
std::optional<int> Psc(std::optional<long long> psc);            // 0..511
std::optional<int> LtePci(std::optional<long long> pci);         // 0..503
std::optional<int> NrPci(std::optional<long long> pci);          // 0..1007

std::optional<double> AsReal(std::optional<long long> value);

}  // namespace dialects
