#pragma once
// Qt's own texts in Russian: the open dialog ("Открыть", "Отмена", the folder and file labels)
// and the buttons of message boxes, so that nothing on screen stays in English.

namespace ui {

// Loads Qt's Russian catalogue (qtbase_ru from Qt's translations folder) into the application,
// once; QApplication must exist. False when the catalogue is missing: Qt's texts stay English.
bool InstallQtTranslations();

}  // namespace ui
