#pragma once
// The map's tiles as images, from the sources the settings name, offline first: the MBTiles file,
// then the tile folder, then the URL template through the on-disk cache and, last, the network
// (QNetworkAccessManager, with a User-Agent naming the program and its version). Nothing is
// fetched while no URL is set. Decoded tiles are kept in memory; a tile that arrives from the
// network is announced with tileArrived. Window's thread.

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "map/tile_source.h"
#include "ui/map_source_settings.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace ui {

class MapTiles : public QObject {
  Q_OBJECT
 public:
  // Tiles fetched from a URL are cached below cacheFolder (DefaultCacheFolder() when empty).
  explicit MapTiles(QString cacheFolder = QString(), QObject* parent = nullptr);
  ~MapTiles() override;

  // Uses the sources of settings from now on; the texts say which could not be opened and why.
  QStringList SetSources(const MapSourceSettings& settings);
  const MapSourceSettings& Sources() const { return settings_; }
  // True when a source could be opened (a file or folder) or a usable URL is set.
  bool HasSource() const;

  // The tile's image, or a null image when none is held now; with fetch, a tile missing locally
  // is asked of the network (once), and tileArrived follows when it comes.
  QImage Tile(const map::TileId& tile, bool fetch = true);

  // ~/.cache/ostrin-gsmmon/tiles ($XDG_CACHE_HOME/ostrin-gsmmon/tiles).
  static QString DefaultCacheFolder();
  // "ostrin_gsmmon/1.0.0 (Ostrin GSM monitor)"
  static QByteArray UserAgent();
  // Requests sent to the network so far.
  int Requests() const { return requests_; }

 signals:
  void tileArrived();

 private:
  QImage Decoded(const QString& key, const std::optional<std::string>& bytes);
  void Fetch(const map::TileId& tile, const QString& key);
  void Arrived(QNetworkReply* reply, map::TileId tile, QString key, QString cacheFile);

  QString cacheFolder_;
  MapSourceSettings settings_;
  std::unique_ptr<map::TileSource> mbtiles_;
  std::unique_ptr<map::TileSource> folder_;
  QNetworkAccessManager* network_ = nullptr;
  QCache<QString, QImage> images_;
  QSet<QString> inFlight_;
  QSet<QString> failed_;
  int requests_ = 0;
  int generation_ = 0;  // replies of earlier sources are dropped
};

}  // namespace ui
