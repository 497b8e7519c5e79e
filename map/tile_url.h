#pragma once
// An XYZ tile URL template: "https://tile.example.org/{z}/{x}/{y}.png", with {s} for a server
// letter where the service has several ("a", "b", "c" in turn) and {-y} for a TMS row.

#include <optional>
#include <string>
#include <string_view>

#include "map/web_mercator.h"

namespace map {

// True for an http(s) address holding {z}, {x} and {y} (or {-y}).
bool IsTileUrlTemplate(std::string_view pattern);
// The tile's address, or nothing when pattern is no template.
std::optional<std::string> TileUrl(std::string_view pattern, const TileId& tile);
// The cached tile's path below the cache folder: a folder per template (its host and a hash of
// the whole template, so two services never share tiles), then z/x/y.
std::string TileCachePath(std::string_view pattern, const TileId& tile);

}  // namespace map
