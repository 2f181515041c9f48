#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

/// Tools → "Last Run…": everything recorded of the selected game's last run, as text that
/// "Copy" puts on the clipboard for a bug report.
class TLastRunDialog : public QDialog {
 public:
  TLastRunDialog(const QString& report, QWidget* parent);

  /// Shows the report modally.
  static void ShowReport(const QString& report, QWidget* parent);

  QPlainTextEdit* Report = nullptr;
  QPushButton* CopyButton = nullptr;
  QPushButton* CloseButton = nullptr;
};
