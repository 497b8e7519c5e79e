#pragma once
// Where map tiles come from: each source answers a tile's encoded image (PNG, JPEG or WebP bytes,
// as stored), or nothing when it has none.

#include <cstdint>
#include <optional>
#include <string>

#include "map/web_mercator.h"

namespace map {

// No tile is larger than this; a bigger file or answer is no tile (and is not read whole).
inline constexpr std::uintmax_t kLargestTile = 8 * 1024 * 1024;

class TileSource {
 public:
  virtual ~TileSource() = default;
  virtual std::optional<std::string> Tile(const TileId& tile) = 0;
};

}  // namespace map
