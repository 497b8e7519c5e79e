// The dialect chosen on the window's menu: offered as "Определять по модему" and every family,
// remembered, and a name this build does not know read back as no choice.

#include "ui/dialect_choice.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "core/session.h"
#include "tests/support/recording_window.h"

namespace {

TEST(DialectChoice, TheMenuSavesTheChoice) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
  EXPECT_EQ(ui::LoadDialectChoice(), QString());

  testsupport::RecordingWindow window({"COM1", 9600});
  core::Session session(window, {});
  QWidget parent;
  QMenu menu;
  ui::AddDialectAction(menu, &parent, session);
  QAction* action = menu.findChild<QAction*>(QStringLiteral("actDialect"));
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), QStringLiteral("Диалект модема..."));

  // Pick "quectel" in the list and accept.
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->comboBoxItems().front(), QStringLiteral("Определять по модему"));
    dialog->setTextValue(QStringLiteral("quectel"));
    dialog->accept();
  });
  action->trigger();
  EXPECT_EQ(ui::LoadDialectChoice(), QStringLiteral("quectel"));

  // A name this build does not know picks the family by identity.
  ui::SaveDialectChoice(QStringLiteral("no-such-family"));
  EXPECT_EQ(ui::LoadDialectChoice(), QString());
}

}  // namespace
