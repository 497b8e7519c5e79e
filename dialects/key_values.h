#pragma once
// Reports written as "KEY:value" pairs (Telit #MONI, u-blox +CGED, SIMCom +CCINFO): the value of
// a key, found case-insensitively, the keys separated by commas or blanks.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dialects {

struct KeyValue {
  std::string key;  // lower case, trimmed
  std::string value;
};

// Pairs of a text whose pairs are separated by commas ("MCC:310, MNC:410") or by blanks
// ("BSIC:51 RxQual:0 LAC:8AD3").
std::vector<KeyValue> KeyValues(std::string_view text, char separator);
// The value under key (lower case), "" when none.
std::string_view ValueOf(const std::vector<KeyValue>& pairs, std::string_view key);

}  // namespace dialects
