#pragma once
// The finish of a KML export. GDAL's streaming KML driver writes placemarks with their data but
// without styles or times, so its output is copied once more, line by line: a shared style per
// level class (export/level_classes.h) and one for events; the cycles sorted into a folder per
// class, named by the class, which is the legend Google Earth shows in its Places panel; each
// placemark with the style of its serving level and a <TimeStamp> of its "time" (UTC), so the
// time slider replays the drive; the layers' folders named in Russian.
//
// Nothing in the file points at the web: the styles colour Google Earth's built-in icon (an
// IconStyle without an href), which needs no download on an offline machine, and the KML
// namespace attribute, a URL that nothing needs to read the file (Google Earth and GDAL read it
// without), is left out.

#include <optional>
#include <string>
#include <string_view>

namespace gsmexport {

// The style id of a cycle with a serving level (dBm) or without one: "level3", "no-level".
std::string LevelStyleId(std::optional<int> level);
inline constexpr const char* kEventStyleId = "event";
// The folders of the cycles and of the events (UTF-8); a GIS reads them as the layers' names.
inline constexpr std::string_view kCyclesCaption = "Циклы опроса";
inline constexpr std::string_view kEventsCaption = "События";

// Copies the KML file at fromPath to toPath finished as above; false when either file fails.
// Memory stays within one placemark.
bool FinishKml(const std::string& fromPath, const std::string& toPath);

}  // namespace gsmexport
