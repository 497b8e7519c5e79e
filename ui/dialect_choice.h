#pragma once
// The modem family the window polls as: chosen on the window's context menu ("Диалект модема..."),
// remembered between runs, and taken by the next connection. Window's thread.

#include <QString>

class QMenu;
class QWidget;

namespace core {
class Session;
}

namespace ui {

// The saved choice: a dialect's name, or "" to pick the family from the modem's identity.
QString LoadDialectChoice();
void SaveDialectChoice(const QString& name);

// "Диалект модема..." on a menu: a list of "Определять по модему" and every dialect; the choice is
// saved and handed to session for its next connection.
void AddDialectAction(QMenu& menu, QWidget* parent, core::Session& session);

}  // namespace ui
