#include "ui/dialect_choice.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QStringList>

#include "core/session.h"
#include "dialects/dialect.h"
#include "ui/program_settings.h"

namespace ui {
namespace {

const QString kKey = QStringLiteral("modem/dialect");
const QString kByIdentity = QStringLiteral("Определять по модему");

}  // namespace

QString LoadDialectChoice() {
  const QString name = QSettings(kSettingsOrganization, kSettingsApplication).value(kKey).toString();
  // A name this build does not know (a settings file of another version) picks by identity.
  return dialects::IsDialectName(name.toStdString()) ? name : QString();
}

void SaveDialectChoice(const QString& name) {
  QSettings(kSettingsOrganization, kSettingsApplication).setValue(kKey, name);
}

void AddDialectAction(QMenu& menu, QWidget* parent, core::Session& session) {
  QAction* action = menu.addAction(QStringLiteral("Диалект модема..."));
  action->setObjectName(QStringLiteral("actDialect"));
  QObject::connect(action, &QAction::triggered, parent, [parent, &session] {
    QStringList items{kByIdentity};
    for (const std::string_view name : dialects::DialectNames()) {
      items << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    const QString saved = LoadDialectChoice();
    const qsizetype current = saved.isEmpty() ? 0 : items.indexOf(saved);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, QStringLiteral("Диалект модема"),
                                                 QStringLiteral("Команды опроса (со следующего подключения):"), items,
                                                 static_cast<int>(current < 0 ? 0 : current), false, &ok);
    if (!ok) return;
    const QString name = chosen == kByIdentity ? QString() : chosen;
    SaveDialectChoice(name);
    session.SetDialect(name.toStdString());
  });
}

}  // namespace ui
