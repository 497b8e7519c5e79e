// The tile sources: an MBTiles file the test writes through SQLite (rows counted from the south),
// a folder of XYZ tiles, and URL templates with their cache paths.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "map/mbtiles_source.h"
#include "map/tile_folder_source.h"
#include "map/tile_url.h"

namespace {

namespace fs = std::filesystem;
using map::TileId;

struct TempFolder {
  TempFolder() {
    path = fs::temp_directory_path() / ("map_tiles_" + std::to_string(::getpid()) + "_" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempFolder() { fs::remove_all(path); }
  fs::path path;
};

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// An MBTiles file holding each tile's name as its bytes, at TMS row row.
void WriteMbtiles(const fs::path& path, const std::vector<std::tuple<int, int, int, std::string>>& tiles) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db,
                   "CREATE TABLE metadata (name text, value text);"
                   "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer, tile_data blob);"
                   "INSERT INTO metadata VALUES ('name', 'test'), ('format', 'png');",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_stmt* insert = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &insert, nullptr), SQLITE_OK);
  for (const auto& [zoom, column, row, bytes] : tiles) {
    sqlite3_bind_int(insert, 1, zoom);
    sqlite3_bind_int(insert, 2, column);
    sqlite3_bind_int(insert, 3, row);
    sqlite3_bind_blob(insert, 4, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_close(db);
}

TEST(MbtilesSource, RowsAreCountedFromTheSouth) {
  TempFolder folder;
  const fs::path file = folder.path / "drive.mbtiles";
  // At zoom 2, XYZ row 0 (the north) is TMS row 3.
  WriteMbtiles(file, {{2, 1, 3, "north row"}, {2, 1, 0, "south row"}, {0, 0, 0, "world"}});
  std::string why;
  auto source = map::MbtilesSource::Open(file.string(), why);
  ASSERT_NE(source, nullptr) << why;
  EXPECT_EQ(source->Tile({2, 1, 0}), "north row");
  EXPECT_EQ(source->Tile({2, 1, 3}), "south row");
  EXPECT_EQ(source->Tile({0, 0, 0}), "world");
  EXPECT_EQ(source->Tile({0, 0, 0}), "world");  // asked again, the statement is reused
  for (const TileId& none : {TileId{2, 2, 0}, TileId{2, 1, 4}, TileId{2, -1, 0}, TileId{3, 0, 0}, TileId{-1, 0, 0}})
    EXPECT_FALSE(source->Tile(none)) << none.zoom << "/" << none.x << "/" << none.y;
}

TEST(MbtilesSource, WhatIsNoTileSetIsRefusedWithWhy) {
  TempFolder folder;
  WriteFile(folder.path / "text.mbtiles", "this is not a database, only some text that is long enough");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((folder.path / "empty.mbtiles").c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE other (a integer);", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  for (const char* name : {"text.mbtiles", "empty.mbtiles", "missing.mbtiles"}) {
    std::string why;
    EXPECT_EQ(map::MbtilesSource::Open((folder.path / name).string(), why), nullptr) << name;
    EXPECT_FALSE(why.empty()) << name;
  }
  EXPECT_FALSE(fs::exists(folder.path / "missing.mbtiles"));  // opening never creates one
}

TEST(TileFolderSource, ZoomColumnRowWithAnyImageExtension) {
  TempFolder folder;
  WriteFile(folder.path / "3" / "4" / "2.png", "png tile");
  WriteFile(folder.path / "3" / "4" / "5.jpg", "jpeg tile");
  WriteFile(folder.path / "3" / "4" / "6.png", "");
  map::TileFolderSource source(folder.path);
  EXPECT_EQ(source.Tile({3, 4, 2}), "png tile");
  EXPECT_EQ(source.Tile({3, 4, 5}), "jpeg tile");
  WriteFile(folder.path / "3" / "4" / "7.png", "huge");
  fs::resize_file(folder.path / "3" / "4" / "7.png", map::kLargestTile + 1);
  EXPECT_FALSE(source.Tile({3, 4, 6}));  // an empty file is no tile
  EXPECT_FALSE(source.Tile({3, 4, 7}));  // nor one larger than any tile
  EXPECT_FALSE(source.Tile({3, 2, 4}));
  EXPECT_FALSE(source.Tile({4, 4, 2}));
}

TEST(TileUrl, TemplatesAndTheirAddresses) {
  struct Case {
    const char* pattern;
    TileId tile;
    const char* url;  // nullptr: no template
  };
  const Case cases[] = {
      {"https://tile.example.org/{z}/{x}/{y}.png", {5, 17, 10}, "https://tile.example.org/5/17/10.png"},
      {"https://{s}.tile.example.org/{z}/{x}/{y}.png", {5, 17, 10}, "https://a.tile.example.org/5/17/10.png"},
      {"https://{s}.tile.example.org/{z}/{x}/{y}.png", {5, 17, 11}, "https://b.tile.example.org/5/17/11.png"},
      {"http://localhost:8080/tms/{z}/{x}/{-y}.png", {2, 1, 0}, "http://localhost:8080/tms/2/1/3.png"},
      {"http://h/?z={z}&x={x}&y={y}&z2={z}", {1, 0, 1}, "http://h/?z=1&x=0&y=1&z2=1"},
      {"https://tile.example.org/{z}/{x}.png", {1, 0, 0}, nullptr},
      {"ftp://tile.example.org/{z}/{x}/{y}.png", {1, 0, 0}, nullptr},
      {"/home/user/tiles/{z}/{x}/{y}.png", {1, 0, 0}, nullptr},
      {"", {1, 0, 0}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(map::IsTileUrlTemplate(c.pattern), c.url != nullptr);
    const auto url = map::TileUrl(c.pattern, c.tile);
    if (c.url == nullptr) {
      EXPECT_FALSE(url);
    } else {
      EXPECT_EQ(url, c.url);
    }
  }
}

TEST(TileUrl, EachTemplateCachesInAFolderOfItsOwn) {
  const TileId tile{7, 80, 40};
  const std::string a = map::TileCachePath("https://tile.example.org/{z}/{x}/{y}.png", tile);
  const std::string b = map::TileCachePath("https://tile.example.org/dark/{z}/{x}/{y}.png", tile);
  EXPECT_TRUE(a.starts_with("tile.example.org-")) << a;
  EXPECT_TRUE(a.ends_with("/7/80/40")) << a;
  EXPECT_NE(a.substr(0, a.find('/')), b.substr(0, b.find('/')));
  EXPECT_EQ(a, map::TileCachePath("https://tile.example.org/{z}/{x}/{y}.png", tile));
  // Nothing of the address can climb out of the cache folder.
  const std::string odd = map::TileCachePath("http://../{z}/{x}/{y}", tile);
  EXPECT_EQ(odd.find(".."), std::string::npos) << odd;
}

}  // namespace
