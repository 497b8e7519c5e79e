#pragma once
// Where the map's background comes from, kept in the program's settings: a local MBTiles file, a
// local folder of XYZ tiles and an XYZ tile URL, each empty when not set; and the dialog that sets
// them ("Источник карты"). Window's thread.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

struct MapSourceSettings {
  QString mbtiles;  // a file
  QString folder;   // ROOT of ROOT/{z}/{x}/{y}.png
  QString url;      // "https://tile.example.org/{z}/{x}/{y}.png"
  bool Empty() const { return mbtiles.isEmpty() && folder.isEmpty() && url.isEmpty(); }
};

MapSourceSettings LoadMapSourceSettings();
void SaveMapSourceSettings(const MapSourceSettings& settings);

class TfrmMapSource : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmMapSource(const MapSourceSettings& settings, QWidget* parent = nullptr);
  MapSourceSettings Settings() const;

  QLineEdit* txtMbtiles = nullptr;
  QLineEdit* txtFolder = nullptr;
  QLineEdit* txtUrl = nullptr;
  QLabel* lblWhy = nullptr;  // why OK is not offered
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void InputChange();
};

// Runs the dialog; true when the settings were changed and saved.
bool EditMapSource(QWidget* parent);

}  // namespace ui
