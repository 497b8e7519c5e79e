#include "dialects/key_values.h"

#include "dialects/response_text.h"

namespace dialects {

std::vector<KeyValue> KeyValues(std::string_view text, char separator) {
  std::vector<KeyValue> pairs;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(start, end - start);
    const std::size_t colon = part.find(':');
    if (colon != std::string_view::npos) {
      std::string value = SplitFields(part.substr(colon + 1)).front();
      pairs.push_back({Lower(SplitFields(part.substr(0, colon)).front()), std::move(value)});
    }
    start = end + 1;
  }
  return pairs;
}

std::string_view ValueOf(const std::vector<KeyValue>& pairs, std::string_view key) {
  for (const KeyValue& pair : pairs) {
    if (pair.key == key) return pair.value;
  }
  return {};
}

}  // namespace dialects
