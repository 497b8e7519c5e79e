#pragma once
// An MBTiles file: tiles in an SQLite database, rows counted from the south (TMS), opened
// read-only. Not thread-safe: one thread asks.

#include <memory>
#include <string>

#include "map/tile_source.h"

struct sqlite3;
struct sqlite3_stmt;

namespace map {

class MbtilesSource final : public TileSource {
 public:
  // Opens path; nullptr, with why (UTF-8) when it is not an MBTiles file that can be read.
  static std::unique_ptr<MbtilesSource> Open(const std::string& path, std::string& why);
  ~MbtilesSource() override;
  MbtilesSource(const MbtilesSource&) = delete;
  MbtilesSource& operator=(const MbtilesSource&) = delete;

  std::optional<std::string> Tile(const TileId& tile) override;

 private:
  MbtilesSource(sqlite3* db, sqlite3_stmt* query) : db_(db), query_(query) {}
  sqlite3* db_;
  sqlite3_stmt* query_;
};

}  // namespace map
