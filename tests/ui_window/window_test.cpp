#include <QGroupBox>
#include <QMessageBox>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <filesystem>

#include "form_fixture.h"
#include "log/log_writer.h"
#include "platform/file_name.h"
#include "tests/support/file_name_cases.h"
#include "ui/local_file_name.h"
#include "ui/port_list.h"
#include "ui/rxlevel_graphbar.h"
#include "ui/viewer.h"

namespace {

using namespace platform::literals;
using core::WindowLayout;
using uitest::FormTest;
using uitest::Utf;

TEST_F(FormTest, NewWindowIsIdleOnComOneAtNineThousandSixHundred) {
  EXPECT_EQ(form_->objectName(), "frm");
  EXPECT_EQ(form_->windowTitle(), "Lumatrek Lite");
  auto* control = Control<QPushButton>("btnControl");
  EXPECT_EQ(control->text(), Utf("Подключить"_cp1251));
  EXPECT_TRUE(control->isEnabled());
  EXPECT_EQ(ui::Tag(control), 0);

  auto* port = Control<QComboBox>("txtComPort");
  auto* speed = Control<QComboBox>("txtComSpeed");
  EXPECT_EQ(port->currentText(), "COM1");
  EXPECT_EQ(speed->currentText(), "9600");
  EXPECT_TRUE(port->isEnabled());
  EXPECT_TRUE(speed->isEnabled());
  ASSERT_GE(port->count(), 16);
  for (int n = 1; n <= 16; ++n) EXPECT_EQ(port->itemText(n - 1), QString("COM%1").arg(n));
  QStringList speeds;
  for (int i = 0; i < speed->count(); ++i) speeds << speed->itemText(i);
  EXPECT_EQ(speeds, QStringList({"9600", "19200", "38400", "57600", "115200"}));

  EXPECT_EQ(form_->size(), QSize(202, 114));
  EXPECT_EQ(form_->minimumSize(), form_->maximumSize());
  EXPECT_FALSE(form_->Graph()->HasSurface());

  auto* call = Control<QPushButton>("btnCall");
  EXPECT_EQ(call->text(), Utf("Звонить"_cp1251));
  EXPECT_FALSE(call->isEnabled());
  EXPECT_FALSE(Control<QPushButton>("btnHangup")->isEnabled());
  EXPECT_TRUE(Control("GroupBox6")->isHidden());
  EXPECT_TRUE(Control("GroupBox4")->isHidden());
  for (int cell = 0; cell < 7; ++cell) EXPECT_FALSE(Control("iRx" + std::to_string(cell))->isHidden()) << cell;
}

TEST_F(FormTest, ControlsSitWhereTheLayoutPutsThem) {
  struct Case {
    const char* name;
    QRect geometry;
  };
  const Case kCases[] = {
      {"CoolBar1", {0, 0, 690, 438}},    {"GroupBox1", {0, 0, 185, 113}},  {"GroupBox2", {0, 120, 185, 145}},
      {"GroupBox5", {192, 0, 137, 265}}, {"GroupBox6", {336, 0, 153, 81}}, {"GroupBox4", {496, 0, 137, 81}},
      {"grpCells", {336, 0, 337, 265}},  {"GroupBox3", {8, 16, 641, 133}}, {"RxLevGraph", {2, 4, 637, 125}},
      {"txt0Rx", {56, 32, 38, 21}},      {"txt6Band", {296, 128, 38, 21}}, {"iRx0", {66, 156, 17, 97}},
      {"iRx6", {306, 156, 17, 97}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    QWidget* control = Control(c.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), c.geometry);
  }
  EXPECT_EQ(Control("PanelInfo")->height(), 270);
  EXPECT_EQ(Control("PanelRxLevel")->height(), 161);
  EXPECT_EQ(Control("btnControl")->size(), QSize(169, 25));
  EXPECT_EQ(Control("PanelRxLevel")->y(), Control("PanelInfo")->geometry().bottom() + 1 + 4);
  // The full window holds both bands, the level graph included.
  const QRect client(QPoint(0, 0), ui::LayoutClientSize(WindowLayout::MonitorLayout));
  EXPECT_EQ(client.size(), QSize(690, 438));
  EXPECT_TRUE(client.contains(Control("PanelRxLevel")->geometry()));
}

TEST_F(FormTest, CallButtonNeedsDigitsOnly) {
  struct Case {
    const char* number;
    bool enabled;
  };
  const Case kCases[] = {{"", false},     {"89161234567", true},   {"0123", true},   {"123", true},
                         {"12a4", false}, {"+79161234567", false}, {"12 34", false}, {" 1", false}};
  auto* number = Edit("txtNumber");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.number);
    number->setText(c.number);
    EXPECT_EQ(Control("btnCall")->isEnabled(), c.enabled);
  }
}

TEST(LayoutPosition, EveryLayoutCentresOnThePortLayoutCentre) {
  struct Case {
    WindowLayout layout;
    QPoint position;
    QSize outer;
  };
  const Case kCases[] = {{WindowLayout::ModemLayout, {100, 200 - 78}, {210, 298}},
                         {WindowLayout::MonitorLayout, {100 - 244, 200 - 162}, {698, 465}},
                         {WindowLayout::PortLayout, {100, 200}, {210, 141}}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    EXPECT_EQ(ui::LayoutPosition({100, 200}, c.layout), c.position);
    EXPECT_EQ(ui::LayoutOuterSize(c.layout), c.outer);
  }
}

TEST_F(FormTest, LayoutsMoveResizeAndOwnTheGraphSurface) {
  form_->move(100, 200);
  ui::PrepareConnection(*form_);
  EXPECT_EQ(form_->SavedPosition(), QPoint(100, 200));
  struct Case {
    WindowLayout layout;
    QPoint position;
    QSize client;
    bool surface;
  };
  const Case kCases[] = {{WindowLayout::ModemLayout, {100, 122}, {202, 271}, false},
                         {WindowLayout::MonitorLayout, {-144, 38}, {690, 438}, true},
                         {WindowLayout::MonitorLayout, {-144, 38}, {690, 438}, true},
                         {WindowLayout::PortLayout, {100, 200}, {202, 114}, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    ui::SetWindowLayout(*form_, c.layout);
    EXPECT_EQ(form_->pos(), c.position);
    EXPECT_EQ(form_->size(), c.client);
    EXPECT_EQ(form_->Graph()->HasSurface(), c.surface);
  }
}

// The paint box fits inside its frame's border: after a sample, its four columns and the black
// edge column beside them are on screen, at the graph's full height.
TEST_F(FormTest, NewestGraphSampleIsOnScreen) {
  ui::SetWindowLayout(*form_, WindowLayout::MonitorLayout);
  form_->show();
  ui::RxLevelGraph* graph = form_->Graph();
  QWidget* frame = Control("GroupBox3");
  // The frame's border as the program's own style draws it.
  static QStyle* const windowsStyle = QStyleFactory::create(QStringLiteral("Windows"));
  ASSERT_NE(windowsStyle, nullptr);
  frame->setStyle(windowsStyle);
  EXPECT_TRUE(frame->contentsRect().contains(graph->geometry()));
  EXPECT_EQ(graph->height(), 125) << "the scale beside the graph still fits it";
  for (int n = 0; n < 10; ++n) graph->AddGraphSample(-100);
  graph->AddGraphSample(-47);

  const QImage screen = form_->grab().toImage();
  const QPoint origin = graph->mapTo(form_.get(), QPoint(0, 0));
  const int w = graph->width();
  const int h = graph->height();
  const auto pixel = [&](int x, int y) { return screen.pixel(origin.x() + x, origin.y() + y); };
  const QRgb green = qRgb(0, 255, 0);
  for (int x = w - 5; x <= w - 2; ++x) {
    SCOPED_TRACE(x);
    EXPECT_EQ(pixel(x, h - 1), green) << "the newest sample's bottom row";
    EXPECT_EQ(pixel(x, 1), green) << "and its top: -47 dBm is full height";
  }
  EXPECT_EQ(pixel(w - 1, h / 2), qRgb(0, 0, 0)) << "the black edge column";
  const ui::Colour before = ui::LevelColour(-100, 1, 24);
  EXPECT_EQ(pixel(w - 6, h - 1), qRgb(before & 0xFF, (before >> 8) & 0xFF, (before >> 16) & 0xFF))
      << "the sample before it, left of it";
  // Right of the graph the frame's own border is drawn, not the graph.
  const QPoint border = frame->mapTo(form_.get(), QPoint(frame->width() - 1, frame->height() / 2));
  EXPECT_EQ(screen.pixel(border), frame->grab().toImage().pixel(frame->width() - 1, frame->height() / 2));
  EXPECT_GT(origin.x() + w, 0);
  EXPECT_LE(origin.x() + w, border.x() - 1);
}

TEST_F(FormTest, ConnectionStatesSetCaptionsListsAndTag) {
  using enum core::ConnectionState;
  struct Case {
    core::ConnectionState state;
    bool settingsEnabled;
    bool busy;
    std::string_view caption;
    int tag;  // the tag afterwards: the busy states keep the one before
  };
  const Case kCases[] = {{connecting, false, true, "Подключение ..."_cp1251, 0},
                         {connected, false, false, "Отключить"_cp1251, 1},
                         {disconnecting, true, true, "Отключение ..."_cp1251, 1},
                         {idle, true, false, "Подключить"_cp1251, 0},
                         {disconnecting, true, true, "Отключение ..."_cp1251, 0}};
  auto* button = Control<QPushButton>("btnControl");
  for (const auto& c : kCases) {
    SCOPED_TRACE(platform::Cp1251ToUtf8(c.caption));
    ui::ShowConnectionState(*form_, c.state);
    EXPECT_EQ(button->text(), Utf(c.caption));
    EXPECT_EQ(button->isEnabled(), !c.busy);
    EXPECT_EQ(ui::Tag(button), c.tag);
    EXPECT_EQ(Control("txtComPort")->isEnabled(), c.settingsEnabled);
    EXPECT_EQ(Control("txtComSpeed")->isEnabled(), c.settingsEnabled);
  }
}

TEST_F(FormTest, PortSettingsComeFromTheLists) {
  Control<QComboBox>("txtComPort")->setCurrentIndex(2);
  Control<QComboBox>("txtComSpeed")->setCurrentIndex(4);
  const core::PortSettings settings = ui::ReadPortSettings(*form_);
  EXPECT_EQ(settings.portName, "COM3");
  EXPECT_EQ(settings.speed, 115200);
}

TEST_F(FormTest, PreparedConnectionResetsTheCallAndNamesTheLog) {
  auto* call = Control<QPushButton>("btnCall");
  ui::SetCallState(*form_, true);
  EXPECT_EQ(call->text(), Utf("Сбросить"_cp1251));
  EXPECT_FALSE(Edit("txtNumber")->isEnabled());
  EXPECT_FALSE(Control("btnStartLog")->isEnabled());

  const std::string before = gsmlog::LogFileName();
  ui::PrepareConnection(*form_);
  const std::string after = gsmlog::LogFileName();
  EXPECT_EQ(call->text(), Utf("Позвонить"_cp1251));
  EXPECT_EQ(ui::Tag(call), 0);
  EXPECT_TRUE(Edit("txtNumber")->isEnabled());
  const QString log = Text("txtLog");
  EXPECT_TRUE(log == Utf(before) || log == Utf(after)) << log.toStdString();
  EXPECT_TRUE(Control("btnStartLog")->isEnabled());

  // A window that was never in a call keeps its first caption.
  uitest::FormTest::SetUp();
  ui::PrepareConnection(*form_);
  EXPECT_EQ(Control<QPushButton>("btnCall")->text(), Utf("Звонить"_cp1251));
}

// The record action: one click creates the log named in txtLog, the next completes it.
TEST_F(FormTest, RecordButtonCreatesThenCompletesTheLog) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("uiwin-record-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  Edit("txtLog")->setText(QString::fromStdString((dir / "run.log").string()));
  auto* record = Control<QPushButton>("btnStartLog");
  record->click();
  EXPECT_TRUE(writer_.IsOpen());
  EXPECT_TRUE(fs::exists(Text("txtLog").toStdString())) << Text("txtLog").toStdString();
  record->click();
  EXPECT_FALSE(writer_.IsOpen());

  // A log that cannot be created is reported once, in the error box.
  QString message;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&message] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      message = box->text();
      box->accept();
    }
  });
  closer.start(20);
  Edit("txtLog")->setText(QString::fromStdString((dir / "missing" / "run.log").string()));
  record->click();
  EXPECT_FALSE(message.isEmpty());
  EXPECT_FALSE(writer_.IsOpen());
  fs::remove_all(dir);
}

// A log name in any script, or no UTF-8 at all, passes through the log name field byte for byte:
// the record action creates exactly that file, and the view action reads it.
TEST_F(FormTest, LogNameFieldKeepsTheBytesOfItsName) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("uiwin-names-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  ui::TfrmViewer viewer;
  auto* txtLog = Edit("txtLog");
  auto* record = Control<QPushButton>("btnStartLog");
  for (const auto& c : test_support::FileNameCases()) {
    SCOPED_TRACE(c.kind);
    const std::string path = (dir / c.name).string();
    ui::SetFileNameEdit(txtLog, path);
    EXPECT_EQ(ui::FileNameInEdit(txtLog), path);
    for (const std::string& written : {path, platform::NumberedName(path, 2)}) {
      record->click();
      ASSERT_TRUE(writer_.IsOpen());
      EXPECT_EQ(ui::FileNameInEdit(txtLog), written) << "the field names the file created";
      record->click();
      EXPECT_TRUE(fs::exists(written));
    }
    Control<QPushButton>("btnViewLog")->click();
    EXPECT_EQ(viewer.SourceFile(), platform::NumberedName(path, 2));
    EXPECT_TRUE(viewer.isVisible());
    viewer.hide();
  }
  // A name typed into the field is its UTF-8 bytes.
  txtLog->setText(QStringLiteral("/tmp/測定 ё.log"));
  EXPECT_EQ(ui::FileNameInEdit(txtLog), "/tmp/測定 ё.log");
  fs::remove_all(dir);
}

TEST(PortNames, ComPortsFirstThenDevicesOnce) {
  const auto names = ui::PortNames({"/dev/ttyUSB0", "COM3", "", "/dev/ttyUSB0", "/dev/ttyACM0"});
  ASSERT_EQ(names.size(), 18u);
  EXPECT_EQ(names.front(), "COM1");
  EXPECT_EQ(names[15], "COM16");
  EXPECT_EQ(names[16], "/dev/ttyUSB0");
  EXPECT_EQ(names[17], "/dev/ttyACM0");
}

}  // namespace
