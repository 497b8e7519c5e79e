#include "export/kml_styles.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <string_view>
#include <vector>

#include "export/level_classes.h"

namespace gsmexport {
namespace {

// The level a placemark is coloured by: the serving cell's on its technology's axis.
constexpr std::string_view kLevelNames[] = {"rxlevel_dbm", "rscp_dbm", "rsrp_dbm"};

enum class Section { outside, cycles, events };
// The folders GDAL writes for the layers.
constexpr std::string_view kCyclesFolder = "<Folder><name>cycles</name>";
constexpr std::string_view kEventsFolder = "<Folder><name>events</name>";

// KML writes colours as alpha, blue, green, red.
std::string KmlColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "ff";
  for (const std::uint8_t byte : {blue, green, red}) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xFu];
  }
  return text;
}

std::string Styles() {
  std::string styles;
  for (const LevelClass& c : LevelClasses()) {
    styles += "<Style id=\"" + std::string(c.id) + "\"><IconStyle><color>" + KmlColour(c.red, c.green, c.blue) +
              "</color><scale>0.7</scale></IconStyle><LabelStyle><scale>0</scale></LabelStyle></Style>\n";
  }
  // Events stand out in blue, with their names on the map.
  styles += std::string("<Style id=\"") + kEventStyleId + "\"><IconStyle><color>" + KmlColour(0, 80, 255) +
            "</color><scale>1.1</scale></IconStyle><LabelStyle><scale>0.8</scale></LabelStyle></Style>\n";
  return styles;
}

// The text of a placemark's SimpleData of that name, if it has one.
std::optional<std::string_view> DataOf(const std::vector<std::string>& lines, std::string_view name) {
  const std::string open = "<SimpleData name=\"" + std::string(name) + "\">";
  for (const std::string& line : lines) {
    const std::size_t at = line.find(open);
    if (at == std::string::npos) continue;
    const std::size_t begin = at + open.size();
    const std::size_t end = line.find('<', begin);
    if (end == std::string::npos) return std::nullopt;
    return std::string_view(line).substr(begin, end - begin);
  }
  return std::nullopt;
}

std::optional<int> LevelOf(const std::vector<std::string>& lines) {
  for (const std::string_view name : kLevelNames) {
    const auto text = DataOf(lines, name);
    if (!text) continue;
    double level = 0;
    if (std::from_chars(text->data(), text->data() + text->size(), level).ec == std::errc{} && std::isfinite(level)) {
      return static_cast<int>(std::lround(level));
    }
  }
  return std::nullopt;
}

// The placemark with its time and style, where the KML schema wants them: after its name and
// before its data and geometry.
void WriteStyled(std::ofstream& out, const std::vector<std::string>& lines, const std::string& styleId) {
  std::size_t at = 1;
  while (at < lines.size() && lines[at].find("<ExtendedData>") == std::string::npos &&
         lines[at].find("<Point>") == std::string::npos && lines[at].find("</Placemark>") == std::string::npos) {
    ++at;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == at) {
      if (const auto time = DataOf(lines, "time"); time && !time->empty()) {
        out << "\t<TimeStamp><when>" << *time << "</when></TimeStamp>\n";
      }
      out << "\t<styleUrl>#" << styleId << "</styleUrl>\n";
    }
    out << lines[i] << '\n';
  }
}

// The layers' folders by the names a person reads in Google Earth's Places panel.
std::string FolderNamed(const std::string& line) {
  if (line.find(kCyclesFolder) != std::string::npos) return "<Folder><name>" + std::string(kCyclesCaption) + "</name>";
  if (line.find(kEventsFolder) != std::string::npos) return "<Folder><name>" + std::string(kEventsCaption) + "</name>";
  return line;
}

using LineSink = std::function<void(const std::string& line, Section section)>;
using PlacemarkSink = std::function<void(const std::vector<std::string>& lines, Section section)>;

// Reads the KML file: each line outside placemarks (a folder's first and last line in its own
// section) and each placemark whole, with the layer folder it is in.
bool Scan(const std::string& path, const LineSink& onLine, const PlacemarkSink& onPlacemark) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  Section section = Section::outside;
  std::vector<std::string> placemark;
  for (std::string line; std::getline(in, line);) {
    if (placemark.empty() && line.find("<Placemark>") == std::string::npos) {
      if (line.find(kCyclesFolder) != std::string::npos) section = Section::cycles;
      if (line.find(kEventsFolder) != std::string::npos) section = Section::events;
      onLine(line, section);
      if (line.find("</Folder>") != std::string::npos) section = Section::outside;
      continue;
    }
    const bool end = line.find("</Placemark>") != std::string::npos;
    placemark.push_back(std::move(line));
    if (end) {
      onPlacemark(placemark, section);
      placemark.clear();
    }
  }
  for (const std::string& rest : placemark) onLine(rest, section);
  return !in.bad();
}

}  // namespace

std::string LevelStyleId(std::optional<int> level) { return std::string(ClassOf(level).id); }

bool FinishKml(const std::string& fromPath, const std::string& toPath) {
  std::ofstream out(toPath, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  bool ok = true;
  const auto classFolders = [&] {
    for (const LevelClass& c : LevelClasses()) {
      out << "<Folder><name>" << c.caption << "</name>\n";
      ok = ok && Scan(
                     fromPath, [](const std::string&, Section) {},
                     [&](const std::vector<std::string>& lines, Section section) {
                       if (section != Section::cycles) return;
                       const std::optional<int> level = LevelOf(lines);
                       if (&ClassOf(level) == &c) WriteStyled(out, lines, LevelStyleId(level));
                     });
      out << "</Folder>\n";
    }
  };
  ok = ok && Scan(
                 fromPath,
                 [&](const std::string& line, Section section) {
                   if (line.rfind("<kml ", 0) == 0) {
                     out << "<kml>\n";
                     return;
                   }
                   out << FolderNamed(line) << '\n';
                   if (line.find("<Document") != std::string::npos) out << Styles();
                   if (section == Section::cycles && line.find("<Folder>") != std::string::npos) classFolders();
                 },
                 [&](const std::vector<std::string>& lines, Section section) {
                   if (section == Section::cycles) return;  // in the class folders
                   if (section == Section::events) {
                     WriteStyled(out, lines, kEventStyleId);
                   } else {
                     for (const std::string& line : lines) out << line << '\n';
                   }
                 });
  out.close();  // a write that failed only now, when the last buffer goes out, counts too
  return ok && !out.fail();
}

}  // namespace gsmexport
