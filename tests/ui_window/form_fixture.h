#pragma once
// A fresh main window per test and short ways to reach its controls by name.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <memory>
#include <string>
#include <string_view>

#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "ui/form_control.h"
#include "ui/frmNetMonitor.h"
#include "ui/rxlevel_graphbar.h"

namespace uitest {

inline QString Utf(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

class FormTest : public testing::Test {
 protected:
  void SetUp() override { form_ = std::make_unique<ui::Tfrm>(nullptr, writer_); }

  template <typename T = QWidget>
  T* Control(const std::string& name) const {
    T* control = form_->findChild<T*>(QString::fromStdString(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QLineEdit* Edit(const std::string& name) const { return Control<QLineEdit>(name); }
  QString Text(const std::string& name) const { return Edit(name)->text(); }
  int Bar(const std::string& name) const { return Control<QProgressBar>(name)->value(); }
  bool ShowsNotAvailableColour(const std::string& name) const {
    QLineEdit* edit = Edit(name);
    return edit->palette().color(QPalette::Base) == QApplication::palette(edit).color(QPalette::Button);
  }
  bool ShowsWindowColour(const std::string& name) const {
    QLineEdit* edit = Edit(name);
    return edit->palette().color(QPalette::Base) == QApplication::palette(edit).color(QPalette::Base);
  }
  void Show(int code, int cell, std::string_view text) {
    ui::ShowField(*form_, code, cell, parser::TextValue(std::string(text)));
  }

  gsmlog::TLogWriter writer_;  // the window's record action writes here
  std::unique_ptr<ui::Tfrm> form_;
};

}  // namespace uitest
