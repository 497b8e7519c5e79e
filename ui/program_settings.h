#pragma once
// The one settings file of the window's choices (GPS, MQTT, the level threshold):
// ~/.config/ostrin/ostrin_gsmmon.conf. Window's thread.

#include <QSettings>

namespace ui {

inline const QString kSettingsOrganization = QStringLiteral("ostrin");
inline const QString kSettingsApplication = QStringLiteral("ostrin_gsmmon");

}  // namespace ui
