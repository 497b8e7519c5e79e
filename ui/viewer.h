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
// ShowError. fileName is a path's bytes, as given on the command line, chosen in the open dialog
// or kept by txtLog.
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

  // The whole content of Report. text is Windows-1251 with CR LF line ends; sourceFile (a path's
  // bytes, may be empty) is the log it came from, beside which a print without a printer goes.
  void SetReport(const std::string& text, const std::string& sourceFile);
  QString ReportText() const;
  const std::string& SourceFile() const { return sourceFile_; }

  // Runs OpenDialog centred on this window (on the place it takes when shown, while hidden); the
  // chosen file's full name, or an empty string when cancelled.
  QString RunOpenDialog();

  // Where the print action writes the report when the machine has no printer (a path's bytes):
  // the log's name with ".pdf" in place of ".log", or a file in the home folder for a window
  // without a log. An existing file is never replaced: the PDF then gets a number, as logs do.
  std::string PdfFallbackPath() const;

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
  std::string sourceFile_;
  bool centred_ = false;
};

}  // namespace ui
