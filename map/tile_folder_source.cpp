#include "map/tile_folder_source.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace map {

std::optional<std::string> TileFolderSource::Tile(const TileId& tile) {
  const std::filesystem::path folder = root_ / std::to_string(tile.zoom) / std::to_string(tile.x);
  for (const char* extension : {".png", ".jpg", ".jpeg", ".webp"}) {
    const std::filesystem::path file = folder / (std::to_string(tile.y) + extension);
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > kLargestTile) continue;
    std::ifstream in(file, std::ios::binary);
    if (!in) continue;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!bytes.empty()) return bytes;
  }
  return std::nullopt;
}

}  // namespace map
