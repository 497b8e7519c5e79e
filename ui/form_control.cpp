#include "ui/form_control.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVariant>
#include <algorithm>
#include <limits>

#include "log/log_writer.h"
#include "parser/field_table.h"
#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "ui/frmNetMonitor.h"
#include "ui/local_file_name.h"
#include "ui/rxlevel_graphbar.h"

namespace ui {
namespace {

// The level bars SetLevelBarsVisible shows or hides, iRx0 to iRx5: iRx6 keeps its own setting.
constexpr int kToggledLevelBars = parser::kCellCount - 1;

using namespace platform::literals;
using core::WindowLayout;

constexpr QSize kPortLayout{210, 141};
constexpr QSize kModemLayout{210, 298};
constexpr QSize kMonitorLayout{698, 465};

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }
std::string FromQt(const QString& text) { return platform::Utf8ToCp1251(text.toStdString()); }

template <typename T>
T* Find(const QWidget& form, std::string_view name) {
  // An empty name would match the first control of the type.
  if (name.empty()) return nullptr;
  return form.findChild<T*>(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
}

std::string CellControlName(int cellIndex, std::string_view suffix) {
  return "txt" + std::to_string(cellIndex) + std::string(suffix);
}

// A level in whole dBm: its number as it came (a level text is a whole number), 0 without one.
int LevelOf(const parser::FieldValue& value) {
  if (!value.number) return 0;
  return static_cast<int>(
      std::clamp<double>(*value.number, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::string LevelBarName(const parser::FieldInfo& field, int cellIndex) {
  return "i" + std::string(field.gridSuffix) + std::to_string(cellIndex);
}

void SetBackground(QLineEdit* control, QPalette::ColorRole role) {
  const QPalette standard = QApplication::palette(control);
  QPalette palette = control->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, standard.color(group, role));
  }
  control->setPalette(palette);
}

}  // namespace

QSize LayoutOuterSize(WindowLayout layout) {
  switch (layout) {
    case WindowLayout::PortLayout:
      return kPortLayout;
    case WindowLayout::ModemLayout:
      return kModemLayout;
    case WindowLayout::MonitorLayout:
      return kMonitorLayout;
  }
  return kPortLayout;
}

QSize LayoutClientSize(WindowLayout layout) {
  return LayoutOuterSize(layout) - QSize(kFrameExtraWidth, kFrameExtraHeight);
}

QPoint LayoutPosition(QPoint saved, WindowLayout layout) {
  const QSize outer = LayoutOuterSize(layout);
  return {saved.x() - (outer.width() - kPortLayout.width()) / 2,
          saved.y() - (outer.height() - kPortLayout.height()) / 2};
}

void ShowConnectionState(Tfrm& form, core::ConnectionState state) {
  const bool settingsEnabled = core::SettingsEnabled(state);
  const bool busy = core::Busy(state);
  if (auto* port = Find<QComboBox>(form, "txtComPort")) port->setEnabled(settingsEnabled);
  if (auto* speed = Find<QComboBox>(form, "txtComSpeed")) speed->setEnabled(settingsEnabled);
  auto* button = Find<QPushButton>(form, "btnControl");
  if (!button) return;
  button->setEnabled(!busy);
  std::string caption;
  if (busy) {
    caption = std::string(settingsEnabled ? "Отключение"_cp1251 : "Подключение"_cp1251) + " ...";
  } else if (settingsEnabled) {
    caption = "Подключить"_cp1251;
    SetTag(button, 0);
  } else {
    caption = "Отключить"_cp1251;
    SetTag(button, 1);
  }
  button->setText(ToQt(caption));
}

void SetWindowLayout(Tfrm& form, WindowLayout layout) {
  form.setFixedSize(LayoutClientSize(layout));
  form.move(LayoutPosition(form.SavedPosition(), layout));
  if (RxLevelGraph* graph = form.Graph()) {
    if (LayoutOuterSize(layout).width() == kMonitorLayout.width()) {
      graph->CreateGraphSurface();
    } else {
      graph->DestroyGraphSurface();
    }
  }
}

core::PortSettings ReadPortSettings(const Tfrm& form) {
  core::PortSettings settings;
  if (auto* port = Find<QComboBox>(form, "txtComPort")) settings.portName = FromQt(port->currentText());
  if (auto* speed = Find<QComboBox>(form, "txtComSpeed")) {
    settings.speed = parser::ParseNumber(FromQt(speed->currentText()));
  }
  return settings;
}

void PrepareConnection(Tfrm& form) {
  form.btnCallClick(nullptr);
  SetFileNameEdit(Find<QLineEdit>(form, "txtLog"), gsmlog::LogFileName());
  form.SetSavedPosition(form.pos());
}

void SetCallState(Tfrm& form, bool inCall) {
  auto* button = Find<QPushButton>(form, "btnCall");
  if (!button || inCall == (Tag(button) == 1)) return;
  if (auto* number = Find<QLineEdit>(form, "txtNumber")) number->setEnabled(!inCall);
  button->setText(ToQt(inCall ? "Сбросить"_cp1251 : "Позвонить"_cp1251));
  SetTag(button, inCall ? 1 : 0);
}

int Tag(const QWidget* control) { return control ? control->property("Tag").toInt() : 0; }

void SetTag(QWidget* control, int tag) {
  if (control) control->setProperty("Tag", tag);
}

void SetFieldText(QLineEdit* control, std::string_view text) {
  if (!control) return;
  const bool available = text != parser::kNotAvailable;
  SetTag(control, available ? 1 : 0);
  SetBackground(control, available ? QPalette::Base : QPalette::Button);
  control->setText(ToQt(text));
  // A long value shows its beginning, as a fresh edit does.
  control->setCursorPosition(0);
}

void SetFieldTextUnit(QLineEdit* control, std::string_view text, std::string_view unit) {
  if (text == parser::kNotAvailable) {
    SetFieldText(control, text);
    return;
  }
  SetFieldText(control, std::string(text) + " " + std::string(unit));
}

int LevelBarPosition(int level) {
  const long long position = -static_cast<long long>(level) - 47;
  return static_cast<int>(std::clamp(position, 0LL, 60LL));
}

void ShowField(QWidget& form, int fieldCode, int cellIndex, const parser::FieldValue& value) {
  const parser::FieldInfo* field = parser::FindField(fieldCode);
  if (field == nullptr) return;
  if (cellIndex != 0) {
    ShowCellValue(form, fieldCode, cellIndex, value);
    return;
  }
  // A field the window has no control for is not shown at all, not even in the grid.
  if (field->control.empty()) return;
  const std::string& text = value.text;
  auto* control = Find<QLineEdit>(form, field->control);
  if (field->unit.empty()) {
    SetFieldText(control, text);
  } else {
    SetFieldTextUnit(control, text, field->unit);
  }
  if (field->graph && text != parser::kNotAvailable) {
    if (auto* graph = Find<RxLevelGraph>(form, "RxLevGraph")) graph->AddGraphSample(LevelOf(value));
  }
  ShowCellValue(form, fieldCode, 0, value);
}

void ShowCellValue(QWidget& form, int fieldCode, int cellIndex, const parser::FieldValue& value) {
  const parser::FieldInfo* field = parser::FindField(fieldCode);
  if (field == nullptr || field->gridRow < 0) return;
  if (field->levelBar) {
    if (auto* bar = Find<QProgressBar>(form, LevelBarName(*field, cellIndex))) {
      bar->setValue(value.text == parser::kNotAvailable ? 0 : LevelBarPosition(LevelOf(value)));
    }
  }
  SetFieldText(Find<QLineEdit>(form, CellControlName(cellIndex, field->gridSuffix)), value.text);
}

void MarkControl(QLineEdit* control, parser::SweepPass pass) {
  if (!control) return;
  bool fresh = Tag(control) != 0;
  if (parser::SweepTurnsToNotAvailable(fresh, pass)) {
    SetFieldText(control, parser::kNotAvailable);
  } else if (!fresh) {
    SetTag(control, 0);
  }
}

void MarkControls(QWidget& form, std::string_view names, parser::SweepPass pass) {
  while (!names.empty()) {
    const auto blank = names.find(' ');
    MarkControl(Find<QLineEdit>(form, names.substr(0, blank)), pass);
    names = blank == std::string_view::npos ? std::string_view{} : names.substr(blank + 1);
  }
  for (int cell = 0; cell < parser::kCellCount; ++cell) {
    for (int row = 0; row < parser::kGridRows; ++row) {
      const parser::FieldInfo& field = parser::GridField(row);
      auto* edit = Find<QLineEdit>(form, CellControlName(cell, field.gridSuffix));
      MarkControl(edit, pass);
      // A cell that lost its level empties its bar too, rather than showing a level nobody reported.
      if (field.levelBar && pass == parser::SweepPass::markMissing && Tag(edit) == 0) {
        if (auto* bar = Find<QProgressBar>(form, LevelBarName(field, cell))) bar->setValue(0);
      }
    }
  }
}

void MarkFields(QWidget& form, bool withIdentity, parser::SweepPass pass) {
  // The names of the swept fields' controls, as the window's name list of the sweep.
  std::string names;
  for (const parser::FieldInfo& field : parser::kFieldTable) {
    if (field.control.empty() || !parser::SweptBy(field, withIdentity)) continue;
    names += field.control;
    names += ' ';
  }
  MarkControls(form, names, pass);
}

void SetLevelBarsVisible(QWidget& form, bool visible) {
  for (const parser::FieldInfo& field : parser::kFieldTable) {
    if (!field.levelBar) continue;
    for (int cell = 0; cell < kToggledLevelBars; ++cell) {
      if (auto* bar = Find<QProgressBar>(form, LevelBarName(field, cell))) bar->setVisible(visible);
    }
  }
}

}  // namespace ui
