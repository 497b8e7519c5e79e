#pragma once
// The report window TfrmViewer and the window side of showing a log's report.

#include <QString>
#include <QWidget>
#include <string>

class QFileDialog;
class QPlainTextEdit;
class QPushButton;
class QHideEvent;
class QShowEvent;

namespace ui {

class TfrmViewer;

// The report window created at start-up (one per program); null before.
TfrmViewer* ReportWindow();

// Builds the report of a log file and shows it in the report window, or shows the error through
// ShowError. fileName is Windows-1251, as typed in txtLog or given on the command line.
void ShowLogReport(const std::string& fileName);

// Replaces the clipboard's content with text.
void CopyTextToClipboard(const QString& text);

// The report window: a read-only monospaced pane with print and copy buttons, and the open dialog
// that start-up uses. While shown it disables the main window; in viewer-only mode hiding it ends
// the program with exit code 0. Window's thread only; the first one created is ReportWindow().
class TfrmViewer : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmViewer(QWidget* parent = nullptr);
  ~TfrmViewer() override;

  // The whole content of Report. text is Windows-1251 with CR LF line ends; sourceFile (UTF-8,
  // may be empty) is the log it came from, beside which a print without a printer goes.
  void SetReport(const std::string& text, const QString& sourceFile);
  QString ReportText() const;
  QString SourceFile() const { return sourceFile_; }

  // Runs OpenDialog; the chosen file's full name, or an empty string when cancelled.
  QString RunOpenDialog();

  // Where the print action writes the report when the machine has no printer: the log's name
  // with ".pdf" in place of ".log", or a file in the home folder for a window without a log.
  QString PdfFallbackPath() const;

  void FormShow();
  void FormHide();
  void ReportSelectionChange();
  void btnPrintClick();
  void btnClipboardClick();

  QWidget* Panel1 = nullptr;
  QPushButton* btnPrint = nullptr;
  QPushButton* btnClipboard = nullptr;
  QFileDialog* OpenDialog = nullptr;
  QPlainTextEdit* Report = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QString sourceFile_;
  bool centred_ = false;
};

}  // namespace ui
