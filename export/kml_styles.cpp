#include "export/kml_styles.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <vector>

#include "survey/level_colour.h"

namespace gsmexport {
namespace {

constexpr int kLowestLevel = -113;
constexpr int kHighestLevel = -47;
// A placemark larger than this is copied as it is, without a style.
constexpr std::size_t kMaxPlacemark = 1u << 20;

constexpr std::string_view kLevelData = "<SimpleData name=\"rxlevel_dbm\">";

// KML writes colours as alpha, blue, green, red.
std::string KmlColour(survey::Colour colour) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "ff";
  for (int k = 2; k >= 0; --k) {
    const unsigned byte = (colour >> (8 * k)) & 0xFFu;
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xFu];
  }
  return text;
}

std::string LevelStyles() {
  std::string styles;
  for (int level = kHighestLevel; level >= kLowestLevel; --level) {
    styles += "<Style id=\"" + LevelStyleId(level) + "\"><IconStyle><color>" + KmlColour(survey::ScaleColour(level)) +
              "</color><scale>0.6</scale><Icon><href>http://maps.google.com/mapfiles/kml/shapes/shaded_dot.png</href>"
              "</Icon></IconStyle><LabelStyle><scale>0</scale></LabelStyle></Style>\n";
  }
  return styles;
}

// The serving level of a placemark's lines, if it has one.
bool LevelOf(const std::vector<std::string>& lines, int& level) {
  for (const std::string& line : lines) {
    const std::size_t at = line.find(kLevelData);
    if (at == std::string::npos) continue;
    const char* begin = line.data() + at + kLevelData.size();
    const char* end = line.data() + line.size();
    return std::from_chars(begin, end, level).ec == std::errc{};
  }
  return false;
}

}  // namespace

std::string LevelStyleId(int level) { return "rx" + std::to_string(std::clamp(level, kLowestLevel, kHighestLevel)); }

bool AddLevelStyles(const std::string& fromPath, const std::string& toPath) {
  std::ifstream in(fromPath, std::ios::binary);
  std::ofstream out(toPath, std::ios::binary | std::ios::trunc);
  if (!in || !out) return false;
  std::vector<std::string> placemark;
  std::size_t held = 0;
  bool inPlacemark = false;
  const auto flush = [&] {
    for (const std::string& line : placemark) out << line << '\n';
    placemark.clear();
    held = 0;
  };
  for (std::string line; std::getline(in, line);) {
    if (!inPlacemark && line.find("<Placemark>") != std::string::npos) {
      inPlacemark = true;
      placemark.push_back(std::move(line));
      continue;
    }
    if (!inPlacemark) {
      out << line << '\n';
      if (line.find("<Document") != std::string::npos) out << LevelStyles();
      continue;
    }
    held += line.size();
    const bool end = line.find("</Placemark>") != std::string::npos;
    placemark.push_back(std::move(line));
    if (end) {
      // The style goes first among the placemark's children, where the KML schema wants it.
      if (int level = 0; LevelOf(placemark, level)) {
        placemark.insert(placemark.begin() + 1, "\t<styleUrl>#" + LevelStyleId(level) + "</styleUrl>");
      }
      flush();
      inPlacemark = false;
    } else if (held > kMaxPlacemark) {
      flush();
      inPlacemark = false;
    }
  }
  flush();
  out.close();  // a write that failed only now, when the last buffer goes out, counts too
  return !in.bad() && !out.fail();
}

}  // namespace gsmexport
