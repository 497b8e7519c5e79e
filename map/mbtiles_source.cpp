#include "map/mbtiles_source.h"

#include <sqlite3.h>

namespace map {

std::unique_ptr<MbtilesSource> MbtilesSource::Open(const std::string& path, std::string& why) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    why = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_stmt* query = nullptr;
  // Preparing reads the schema: a file that is no database, or one without tiles, fails here.
  if (sqlite3_prepare_v2(db, "SELECT tile_data FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3",
                         -1, &query, nullptr) != SQLITE_OK) {
    why = sqlite3_errmsg(db);
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<MbtilesSource>(new MbtilesSource(db, query));
}

MbtilesSource::~MbtilesSource() {
  sqlite3_finalize(query_);
  sqlite3_close(db_);
}

std::optional<std::string> MbtilesSource::Tile(const TileId& tile) {
  if (tile.zoom < 0 || tile.zoom > 30) return std::nullopt;
  const int rows = 1 << tile.zoom;
  if (tile.x < 0 || tile.x >= rows || tile.y < 0 || tile.y >= rows) return std::nullopt;
  sqlite3_reset(query_);
  sqlite3_bind_int(query_, 1, tile.zoom);
  sqlite3_bind_int(query_, 2, tile.x);
  sqlite3_bind_int(query_, 3, rows - 1 - tile.y);
  if (sqlite3_step(query_) != SQLITE_ROW) return std::nullopt;
  const void* data = sqlite3_column_blob(query_, 0);
  const int size = sqlite3_column_bytes(query_, 0);
  if (data == nullptr || size <= 0) return std::nullopt;
  std::string bytes(static_cast<const char*>(data), static_cast<std::size_t>(size));
  sqlite3_reset(query_);
  return bytes;
}

}  // namespace map
