#include "ui/frmNetMonitor.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <string>

#include "core/log_recorder.h"
#include "core/session.h"
#include "log/log_writer.h"
#include "parser/field_table.h"
#include "platform/text_encoding.h"
#include "ui/form_control.h"
#include "ui/local_file_name.h"
#include "ui/log_folder.h"
#include "ui/main_window_ops.h"
#include "ui/message_box.h"
#include "ui/port_list.h"
#include "ui/rxlevel_graphbar.h"
#include "ui/viewer.h"
#include "ui/window_font.h"

namespace ui {
namespace {

using namespace platform::literals;

const QColor kNavy(0, 0, 128);

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }
std::string FromQt(const QString& text) { return platform::Utf8ToCp1251(text.toStdString()); }

template <typename T>
T* Place(T* control, std::string_view name, QRect geometry) {
  control->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  control->setGeometry(geometry);
  return control;
}

QLabel* AddLabel(QWidget* parent, std::string_view caption, QPoint at) {
  auto* label = new QLabel(ToQt(caption), parent);
  label->move(at);
  label->adjustSize();
  return label;
}

QLabel* AddHeading(QWidget* parent, std::string_view caption, QPoint at, int pixelSize, bool navy) {
  QLabel* label = AddLabel(parent, caption, at);
  label->setFont(WindowFont(pixelSize, true));
  if (navy) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kNavy);
    label->setPalette(palette);
  }
  label->adjustSize();
  return label;
}

QGroupBox* AddGroup(QWidget* parent, std::string_view name, std::string_view caption, QRect geometry) {
  return Place(new QGroupBox(ToQt(caption), parent), name, geometry);
}

QLineEdit* AddEdit(QWidget* parent, std::string_view name, QRect geometry, bool readOnly) {
  auto* edit = Place(new QLineEdit(parent), name, geometry);
  edit->setReadOnly(readOnly);
  SetTag(edit, 0);
  return edit;
}

QPushButton* AddButton(QWidget* parent, std::string_view name, std::string_view caption, QRect geometry) {
  auto* button = Place(new QPushButton(ToQt(caption), parent), name, geometry);
  SetTag(button, 0);
  return button;
}

// The grid row whose cells have a level bar beneath the grid.
const parser::FieldInfo& LevelBarField() {
  for (int row = 0; row < parser::kGridRows; ++row) {
    if (parser::GridField(row).levelBar) return parser::GridField(row);
  }
  return parser::GridField(0);
}

// A one-pixel navy line of the graph's scale.
void AddScaleLine(QWidget* parent, QRect geometry) {
  auto* line = new QFrame(parent);
  line->setGeometry(geometry);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, kNavy);
  line->setPalette(palette);
}

}  // namespace

Tfrm::Tfrm(QWidget* parent) : Tfrm(parent, std::make_unique<gsmlog::TLogWriter>(), nullptr) {}

Tfrm::Tfrm(QWidget* parent, gsmlog::TLogWriter& writer) : Tfrm(parent, nullptr, &writer) {}

Tfrm::~Tfrm() = default;

Tfrm::Tfrm(QWidget* parent, std::unique_ptr<gsmlog::TLogWriter> ownWriter, gsmlog::TLogWriter* writer)
    : QWidget(parent),
      ownWriter_(std::move(ownWriter)),
      ops_(std::make_unique<MainWindowOps>(*this)),
      recorder_(std::make_unique<core::LogRecorder>(
          *ops_, writer != nullptr ? *writer : *ownWriter_, [this] { return ops_->RecordName(); },
          [this](const std::string& name) { ops_->ShowRecording(name); })) {
  setObjectName(QStringLiteral("frm"));
  setWindowTitle(QStringLiteral("Lumatrek Lite"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(WindowFont());

  // The two bands of the window: the settings and results above, the level graph below.
  auto* coolBar = Place(new QWidget(this), "CoolBar1", QRect(0, 0, 690, 438));
  auto* panelInfo = Place(new QWidget(coolBar), "PanelInfo", QRect(9, 1, 680, 270));
  auto* panelRxLevel = Place(new QWidget(coolBar), "PanelRxLevel", QRect(9, 275, 680, 161));
  BuildPanelInfo(panelInfo);
  BuildPanelRxLevel(panelRxLevel);

  txtLogChange();
  AttachLogFolder(*this);
  FormCreate();
}

void Tfrm::BuildPanelInfo(QWidget* panel) {
  auto* port = AddGroup(panel, "GroupBox1", "Настройки порта"_cp1251, {0, 0, 185, 113});
  AddLabel(port, "Имя:"_cp1251, {8, 22});
  Place(new QComboBox(port), "txtComPort", {72, 18, 105, 21});
  AddLabel(port, "Скорость:"_cp1251, {8, 49});
  Place(new QComboBox(port), "txtComSpeed", {72, 45, 105, 21});
  auto* control = AddButton(port, "btnControl", "Подключить"_cp1251, {8, 78, 169, 25});
  connect(control, &QPushButton::clicked, this, [this] { btnControlClick(); });

  auto* modem = AddGroup(panel, "GroupBox2", "Информация о модеме"_cp1251, {0, 120, 185, 145});
  int modemRow = 0;
  for (const parser::FieldInfo& field : parser::kFieldTable) {
    if (field.sweep != parser::Sweep::identity || field.control.empty()) continue;
    const int top = 20 + modemRow * 30;
    AddLabel(modem, field.label, {8, top + 4});
    // Fifteen IMEI digits need more than the column beside the longest label; its own label is short.
    const int left = modemRow == 0 ? 44 : 92;
    AddEdit(modem, field.control, {left, top, 177 - left, 21}, true);
    ++modemRow;
  }

  auto* results = AddGroup(panel, "GroupBox5", "Результаты измерений"_cp1251, {192, 0, 137, 265});
  AddHeading(results, "Активная сота:"_cp1251, {8, 17}, 11, false);
  constexpr parser::FieldCode kResultRows[] = {parser::fcRxLevel,     parser::fcChannel, parser::fcRxQuality,
                                               parser::fcBitError,    parser::fcCountry, parser::fcOperator,
                                               parser::fcBaseStation, parser::fcCell,    parser::fcFreqBand};
  for (int row = 0; row < 9; ++row) {
    const parser::FieldInfo& field = *parser::FindField(kResultRows[row]);
    const int top = 35 + row * 25;
    AddLabel(results, field.label, {8, top + 4});
    AddEdit(results, field.control, {64, top, 65, 21}, true);
  }

  // Record and call controls: kept under the cell grid, never shown, still working.
  auto* log = AddGroup(panel, "GroupBox6", "Протокол"_cp1251, {336, 0, 153, 81});
  AddLabel(log, "LOG-файл:"_cp1251, {8, 22});
  auto* txtLog = AddEdit(log, "txtLog", {64, 18, 81, 21}, false);
  connect(txtLog, &QLineEdit::textChanged, this, [this] { txtLogChange(); });
  auto* startLog = AddButton(log, "btnStartLog", "Запись"_cp1251, {8, 48, 65, 25});
  connect(startLog, &QPushButton::clicked, this, [this] { btnStartLogClick(); });
  auto* viewLog = AddButton(log, "btnViewLog", "Просмотр"_cp1251, {80, 48, 65, 25});
  connect(viewLog, &QPushButton::clicked, this, [this] { btnViewLogClick(); });
  log->hide();

  auto* call = AddGroup(panel, "GroupBox4", "Трафиковый канал"_cp1251, {496, 0, 137, 81});
  AddLabel(call, "Номер:"_cp1251, {8, 22});
  auto* number = AddEdit(call, "txtNumber", {52, 18, 77, 21}, false);
  connect(number, &QLineEdit::textChanged, this, [this] { txtNumberChange(); });
  auto* btnCall = AddButton(call, "btnCall", "Звонить"_cp1251, {8, 48, 57, 25});
  connect(btnCall, &QPushButton::clicked, this, [this, btnCall] { btnCallClick(btnCall); });
  AddButton(call, "btnHangup", "Ответить"_cp1251, {72, 48, 57, 25})->setEnabled(false);
  call->hide();

  auto* cells = AddGroup(panel, "grpCells", "Информация об активной и соседних сотах"_cp1251, {336, 0, 337, 265});
  const std::string_view heads[] = {"Активная"_cp1251, "1-я"_cp1251, "2-я"_cp1251, "3-я"_cp1251,
                                    "4-я"_cp1251,      "5-я"_cp1251, "6-я"_cp1251};
  for (int row = 0; row < parser::kGridRows; ++row) {
    AddLabel(cells, parser::GridField(row).gridLabel, {8, 36 + row * 24});
  }
  for (int cell = 0; cell < parser::kCellCount; ++cell) {
    const int left = 56 + cell * 40;
    QLabel* head = AddHeading(cells, heads[cell], {0, 17}, 11, true);
    head->setFont(WindowFont());
    head->setGeometry(left - 6, 17, 50, 13);
    head->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    for (int row = 0; row < parser::kGridRows; ++row) {
      const std::string name = "txt" + std::to_string(cell) + std::string(parser::GridField(row).gridSuffix);
      AddEdit(cells, name, {left, 32 + row * 24, 38, 21}, false);
    }
    const std::string barName = "i" + std::string(LevelBarField().gridSuffix) + std::to_string(cell);
    auto* bar = Place(new QProgressBar(cells), barName, {left + 10, 156, 17, 97});
    bar->setOrientation(Qt::Vertical);
    bar->setRange(0, 60);
    bar->setValue(0);
    bar->setTextVisible(false);
  }
}

void Tfrm::BuildPanelRxLevel(QWidget* panel) {
  AddHeading(panel, "Мониторинг уровня приема"_cp1251, {8, 0}, 11, true);
  auto* frame = AddGroup(panel, "GroupBox3", {}, {8, 16, 641, 133});
  // Inside the frame's 2-pixel border, so the newest sample at the right edge is on screen.
  graph_ = Place(new RxLevelGraph(frame), "RxLevGraph", {2, 4, kGraphWidth, kGraphHeight});

  // The scale beside the graph: top and bottom of the range, the unit between them.
  AddScaleLine(panel, {652, 20, 1, 126});
  AddScaleLine(panel, {652, 20, 5, 1});
  AddScaleLine(panel, {652, 145, 24, 1});
  AddHeading(panel, "-47", {658, 16}, 9, true);
  AddHeading(panel, "dBm", {658, 77}, 9, true);
  AddHeading(panel, "-113", {656, 133}, 9, true);
}

void Tfrm::FormCreate() {
  auto* port = findChild<QComboBox*>(QStringLiteral("txtComPort"));
  port->clear();
  for (const auto& name : AvailablePortNames()) port->addItem(ToQt(name));
  port->setCurrentIndex(0);

  txtNumberChange();

  auto* speed = findChild<QComboBox*>(QStringLiteral("txtComSpeed"));
  speed->clear();
  for (const char* rate : {"9600", "19200", "38400", "57600", "115200"}) speed->addItem(QString::fromLatin1(rate));
  speed->setCurrentIndex(0);

  chkRxViewClick();
  SetWindowLayout(*this, core::WindowLayout::PortLayout);
  ShowConnectionState(*this, core::ConnectionState::idle);

  if (QScreen* desktop = screen()) {
    const QSize outer = LayoutOuterSize(core::WindowLayout::PortLayout);
    const QRect area = desktop->availableGeometry();
    move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
  }
}

void Tfrm::btnControlClick() {
  if (session_ == nullptr) return;
  if (Tag(findChild<QPushButton*>(QStringLiteral("btnControl"))) == 0) {
    session_->StartMonitor();
  } else {
    session_->StopMonitor(false);
  }
}

void Tfrm::closeEvent(QCloseEvent* event) { FormClose(event); }

void Tfrm::FormClose(QCloseEvent* event) {
  // One decision: a connection ending at this very moment either takes the exit with it or has
  // already gone, and then the window closes at once.
  if (session_ != nullptr && session_->StopMonitor(true)) {
    // The monitor thread ends the program once its connection is closed.
    event->ignore();
    return;
  }
  event->accept();
  ops_->ExitProgram();
}

void Tfrm::txtNumberChange() {
  const QString number = findChild<QLineEdit*>(QStringLiteral("txtNumber"))->text();
  const bool digitsOnly =
      !number.isEmpty() && std::all_of(number.begin(), number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
  findChild<QPushButton*>(QStringLiteral("btnCall"))->setEnabled(digitsOnly);
}

void Tfrm::btnCallClick(QObject* sender) {
  const bool dial = sender && Tag(findChild<QPushButton*>(QStringLiteral("btnCall"))) == 0;
  SetCallState(*this, dial);
  if (sender && session_ != nullptr)
    session_->StartCall(dial, FromQt(findChild<QLineEdit*>(QStringLiteral("txtNumber"))->text()));
}

void Tfrm::chkRxViewClick() { SetLevelBarsVisible(*this, true); }

void Tfrm::btnStartLogClick() { recorder_->RecordAction(); }

void Tfrm::txtLogChange() {
  findChild<QPushButton*>(QStringLiteral("btnStartLog"))
      ->setEnabled(!findChild<QLineEdit*>(QStringLiteral("txtLog"))->text().isEmpty());
}

void Tfrm::btnViewLogClick() {
  ShowLogReport(LogPath(FileNameInEdit(findChild<QLineEdit*>(QStringLiteral("txtLog"))), false));
}

void Tfrm::lblMailClick() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kSupportMailUrl))); }

}  // namespace ui
