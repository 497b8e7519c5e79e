#include "map/tile_folder_source.h"

#include <fstream>
#include <iterator>
#include <string>

namespace map {

std::optional<std::string> TileFolderSource::Tile(const TileId& tile) {
  const std::filesystem::path folder = root_ / std::to_string(tile.zoom) / std::to_string(tile.x);
  for (const char* extension : {".png", ".jpg", ".jpeg", ".webp"}) {
    std::ifstream in(folder / (std::to_string(tile.y) + extension), std::ios::binary);
    if (!in) continue;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!bytes.empty()) return bytes;
  }
  return std::nullopt;
}

}  // namespace map
