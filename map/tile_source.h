#pragma once
// Where map tiles come from: each source answers a tile's encoded image (PNG, JPEG or WebP bytes,
// as stored), or nothing when it has none.

#include <optional>
#include <string>

#include "map/web_mercator.h"

namespace map {

class TileSource {
 public:
  virtual ~TileSource() = default;
  virtual std::optional<std::string> Tile(const TileId& tile) = 0;
};

}  // namespace map
