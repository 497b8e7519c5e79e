#include "ui/map_tiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QStandardPaths>

#include "map/mbtiles_source.h"
#include "map/tile_folder_source.h"
#include "map/tile_url.h"
#include "ui/local_file_name.h"

#ifndef GSMMON_VERSION
#define GSMMON_VERSION "0"
#endif

namespace ui {

namespace {

constexpr int kHeldTiles = 512;  // decoded tiles kept in memory: a few screens' worth
constexpr int kMostInFlight = 12;

QString KeyOf(const map::TileId& tile) { return QStringLiteral("%1/%2/%3").arg(tile.zoom).arg(tile.x).arg(tile.y); }

}  // namespace

MapTiles::MapTiles(QString cacheFolder, QObject* parent)
    : QObject(parent), cacheFolder_(cacheFolder.isEmpty() ? DefaultCacheFolder() : std::move(cacheFolder)) {
  images_.setMaxCost(kHeldTiles);
}

MapTiles::~MapTiles() = default;

QString MapTiles::DefaultCacheFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
         QStringLiteral("/ostrin-gsmmon/tiles");
}

QByteArray MapTiles::UserAgent() { return QByteArrayLiteral("ostrin_gsmmon/" GSMMON_VERSION " (Ostrin GSM monitor)"); }

QStringList MapTiles::SetSources(const MapSourceSettings& settings) {
  QStringList problems;
  settings_ = settings;
  ++generation_;
  images_.clear();
  inFlight_.clear();
  failed_.clear();
  mbtiles_.reset();
  folder_.reset();
  if (!settings.mbtiles.isEmpty()) {
    std::string why;
    mbtiles_ = map::MbtilesSource::Open(LocalFileName(settings.mbtiles), why);
    if (!mbtiles_)
      problems << QStringLiteral("Не удалось открыть файл MBTiles %1: %2")
                      .arg(settings.mbtiles, QString::fromStdString(why));
  }
  if (!settings.folder.isEmpty()) {
    if (QFileInfo(settings.folder).isDir()) {
      folder_ = std::make_unique<map::TileFolderSource>(LocalFileName(settings.folder));
    } else {
      problems << QStringLiteral("Нет папки плиток %1").arg(settings.folder);
    }
  }
  if (!settings.url.isEmpty() && !map::IsTileUrlTemplate(settings.url.toStdString()))
    problems << QStringLiteral("Адрес плиток не годится: %1").arg(settings.url);
  return problems;
}

bool MapTiles::HasSource() const { return mbtiles_ || folder_ || map::IsTileUrlTemplate(settings_.url.toStdString()); }

QImage MapTiles::Decoded(const QString& key, const std::optional<std::string>& bytes) {
  if (!bytes) return {};
  QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size()));
  if (!image.isNull()) images_.insert(key, new QImage(image));
  return image;
}

QImage MapTiles::Tile(const map::TileId& tile, bool fetch) {
  const QString key = KeyOf(tile);
  if (const QImage* held = images_.object(key)) return *held;
  if (mbtiles_) {
    if (QImage image = Decoded(key, mbtiles_->Tile(tile)); !image.isNull()) return image;
  }
  if (folder_) {
    if (QImage image = Decoded(key, folder_->Tile(tile)); !image.isNull()) return image;
  }
  const std::string pattern = settings_.url.toStdString();
  if (!map::IsTileUrlTemplate(pattern)) return {};
  const QString cacheFile = cacheFolder_ + QLatin1Char('/') + QString::fromStdString(map::TileCachePath(pattern, tile));
  QFile cached(cacheFile);
  if (cached.open(QIODevice::ReadOnly)) {
    const QByteArray bytes = cached.readAll();
    QImage image = QImage::fromData(bytes);
    if (!image.isNull()) {
      images_.insert(key, new QImage(image));
      return image;
    }
  }
  if (fetch) Fetch(tile, key);
  return {};
}

void MapTiles::Fetch(const map::TileId& tile, const QString& key) {
  if (inFlight_.contains(key) || failed_.contains(key) || inFlight_.size() >= kMostInFlight) return;
  const auto url = map::TileUrl(settings_.url.toStdString(), tile);
  if (!url) return;
  if (network_ == nullptr) network_ = new QNetworkAccessManager(this);
  QNetworkRequest request(QUrl(QString::fromStdString(*url)));
  request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setTransferTimeout(20000);
  inFlight_.insert(key);
  ++requests_;
  QNetworkReply* reply = network_->get(request);
  connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
    if (static_cast<std::uintmax_t>(received) > map::kLargestTile) reply->abort();
  });
  const QString cacheFile =
      cacheFolder_ + QLatin1Char('/') + QString::fromStdString(map::TileCachePath(settings_.url.toStdString(), tile));
  connect(reply, &QNetworkReply::finished, this, [this, reply, tile, key, cacheFile, generation = generation_] {
    reply->deleteLater();
    if (generation != generation_) return;
    Arrived(reply, tile, key, cacheFile);
  });
}

void MapTiles::Arrived(QNetworkReply* reply, map::TileId, QString key, QString cacheFile) {
  inFlight_.remove(key);
  const QByteArray bytes = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
  const QImage image = QImage::fromData(bytes);
  if (image.isNull()) {
    failed_.insert(key);  // asked again only with other sources, or in the next run
    return;
  }
  QDir().mkpath(QFileInfo(cacheFile).path());
  QSaveFile file(cacheFile);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(bytes);
    file.commit();
  }
  images_.insert(key, new QImage(image));
  emit tileArrived();
}

}  // namespace ui
