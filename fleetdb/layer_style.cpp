#include "fleetdb/layer_style.h"

#include "survey/level_colour.h"

namespace fleetdb {
namespace {

std::string ColourText(survey::Colour colour) {
  return std::to_string(colour & 0xFFu) + "," + std::to_string((colour >> 8) & 0xFFu) + "," +
         std::to_string((colour >> 16) & 0xFFu) + ",255";
}

std::string Symbol(int index, survey::Colour colour, const std::string& size) {
  const std::string c = ColourText(colour);
  return "<symbol type=\"marker\" name=\"" + std::to_string(index) +
         "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\">"
         "<layer class=\"SimpleMarker\" enabled=\"1\" locked=\"0\" pass=\"0\">"
         "<Option type=\"Map\">"
         "<Option type=\"QString\" name=\"color\" value=\"" +
         c +
         "\"/>"
         "<Option type=\"QString\" name=\"name\" value=\"circle\"/>"
         "<Option type=\"QString\" name=\"outline_style\" value=\"no\"/>"
         "<Option type=\"QString\" name=\"size\" value=\"" +
         size +
         "\"/>"
         "<Option type=\"QString\" name=\"size_unit\" value=\"MM\"/>"
         "</Option>"
         "<prop k=\"color\" v=\"" +
         c + "\"/><prop k=\"name\" v=\"circle\"/><prop k=\"outline_style\" v=\"no\"/><prop k=\"size\" v=\"" + size +
         "\"/><prop k=\"size_unit\" v=\"MM\"/>"
         "</layer></symbol>";
}

}  // namespace

std::string LevelStyleQml(const std::string& column, double size) {
  constexpr int kLowest = -113;
  constexpr int kHighest = -47;
  constexpr int kStep = 6;
  std::string sizeText = std::to_string(size);
  std::string ranges;
  std::string symbols;
  int index = 0;
  const auto add = [&](int lower, int upper, int colourLevel, const std::string& label) {
    ranges += "<range lower=\"" + std::to_string(lower) + "\" upper=\"" + std::to_string(upper) + "\" symbol=\"" +
              std::to_string(index) + "\" label=\"" + label + "\" render=\"true\"/>";
    symbols += Symbol(index, survey::ScaleColour(colourLevel), sizeText);
    ++index;
  };
  // Beyond the ends a level takes the colour of the nearest end, as on the graph.
  add(-200, kLowest, kLowest, "&lt; " + std::to_string(kLowest) + " dBm");
  for (int lower = kLowest; lower < kHighest; lower += kStep) {
    add(lower, lower + kStep, lower + kStep / 2,
        std::to_string(lower) + " .. " + std::to_string(lower + kStep) + " dBm");
  }
  add(kHighest, 0, kHighest, "&gt; " + std::to_string(kHighest) + " dBm");
  return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>"
         "<qgis version=\"3.22.0\" styleCategories=\"Symbology\">"
         "<renderer-v2 type=\"graduatedSymbol\" attr=\"" +
         column +
         "\" graduatedMethod=\"GraduatedColor\" symbollevels=\"0\" enableorderby=\"0\" forceraster=\"0\">"
         "<ranges>" +
         ranges + "</ranges><symbols>" + symbols +
         "</symbols><mode name=\"fixed\"/></renderer-v2>"
         "</qgis>";
}

}  // namespace fleetdb
