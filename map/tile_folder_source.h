#pragma once
// A folder of XYZ tiles: ROOT/{z}/{x}/{y}.png (or .jpg, .jpeg, .webp), row 0 at the north.

#include <filesystem>

#include "map/tile_source.h"

namespace map {

class TileFolderSource final : public TileSource {
 public:
  explicit TileFolderSource(std::filesystem::path root) : root_(std::move(root)) {}
  std::optional<std::string> Tile(const TileId& tile) override;

 private:
  std::filesystem::path root_;
};

}  // namespace map
