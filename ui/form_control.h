#pragma once
// The main window's state operations (connection states, layouts, port settings, call controls)
// and the measurement display (field texts, refresh marks, level bars). All of them run on the
// window's thread; texts are Windows-1251. Controls are found by name under form, so a missing
// one is skipped.

#include <QPoint>
#include <QSize>
#include <string>
#include <string_view>

#include "core/window_ops.h"
#include "parser/field_table.h"

class QLineEdit;
class QWidget;

namespace ui {

class Tfrm;

// Outer window size of a layout, frame included (Windows metrics of a tool window).
QSize LayoutOuterSize(core::WindowLayout layout);
// Outer size minus client size: 4-pixel borders and a 19-pixel small caption.
inline constexpr int kFrameExtraWidth = 8;
inline constexpr int kFrameExtraHeight = 27;
// The client size of a layout: MonitorLayout gives 690 x 438.
QSize LayoutClientSize(core::WindowLayout layout);
// Where a layout puts the window's top-left corner (frame included): centred on the centre that
// the PortLayout window had at saved.
QPoint LayoutPosition(QPoint saved, core::WindowLayout layout);

void ShowConnectionState(Tfrm& form, core::ConnectionState state);
void SetWindowLayout(Tfrm& form, core::WindowLayout layout);
core::PortSettings ReadPortSettings(const Tfrm& form);
void PrepareConnection(Tfrm& form);
void SetCallState(Tfrm& form, bool inCall);

// The integer Tag every control carries (0 when never set).
int Tag(const QWidget* control);
void SetTag(QWidget* control, int tag);

// A value on the window colour with Tag 1, "(n/a)" on the button-face colour with Tag 0.
void SetFieldText(QLineEdit* control, std::string_view text);
// As SetFieldText; a value other than "(n/a)" gets a blank and the unit appended.
void SetFieldTextUnit(QLineEdit* control, std::string_view text, std::string_view unit);
// One accepted value: the fixed fields of cell 0, the grid, the level bars and the graph.
void ShowField(QWidget& form, int fieldCode, int cellIndex, const parser::FieldValue& value);
void ShowCellValue(QWidget& form, int fieldCode, int cellIndex, const parser::FieldValue& value);
// The reset clears the refresh mark; the marking pass shows "(n/a)" when no value arrived since.
void MarkControl(QLineEdit* control, parser::SweepPass pass);
// names: control names separated by single blanks; the whole cell grid follows them. The marking
// pass also empties the level bar of every cell whose level shows "(n/a)".
void MarkControls(QWidget& form, std::string_view names, parser::SweepPass pass);
// The sweep over the controls of the fields the table marks as swept (the identity only
// withIdentity), and the grid.
void MarkFields(QWidget& form, bool withIdentity, parser::SweepPass pass);
void SetLevelBarsVisible(QWidget& form, bool visible);

// Level bar position for a receive level in dBm: -v - 47 held within 0..60.
int LevelBarPosition(int level);

}  // namespace ui
