#include "LastRunDialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLastRunDialog::TLastRunDialog(const QString& report, QWidget* parent) : QDialog(parent) {
  setObjectName("LastRunDialog");
  setWindowTitle("Last Run");
  Report = new QPlainTextEdit(report);
  Report->setObjectName("LastRunReport");
  Report->setAccessibleName("Last run");
  Report->setReadOnly(true);
  Report->setLineWrapMode(QPlainTextEdit::NoWrap);
  Report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Read-only, the text still takes the keyboard: arrows scroll, Ctrl+A and Ctrl+C copy a part.
  Report->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox;
  CopyButton = buttons->addButton("&Copy", QDialogButtonBox::ActionRole);
  CopyButton->setObjectName("LastRunCopy");
  CopyButton->setToolTip("Put the whole report on the clipboard, for a bug report");
  CloseButton = buttons->addButton("Close", QDialogButtonBox::RejectRole);
  CloseButton->setDefault(true);
  connect(CopyButton, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(Report->toPlainText()); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Report);
  layout->addWidget(buttons);
  // Wide enough for a command line and a path, high enough for a screen of output.
  const QFontMetrics metrics(Report->font());
  resize(metrics.horizontalAdvance(QString(90, 'x')), metrics.lineSpacing() * 30);
}

void TLastRunDialog::ShowReport(const QString& report, QWidget* parent) {
  TLastRunDialog dialog(report, parent);
  dialog.CloseButton->setFocus();
  dialog.exec();
}
