#include "ui/QtUserInteraction.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <vector>

#include "platform/Text.h"
#include "ui/StartUtils.h"

std::function<void(QMessageBox*)> TQtUserInteraction::BoxShownHook;

namespace {

// Centred on the screen rather than over the window that is active.
class TCenteredMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    CenterOnScreen(this);
    if (TQtUserInteraction::BoxShownHook) {
      QPointer<QMessageBox> self(this);
      QTimer::singleShot(0, this, [self] {
        if (self && TQtUserInteraction::BoxShownHook) TQtUserInteraction::BoxShownHook(self);
      });
    }
  }
};

struct TButtonSpec {
  TMsgDlgBtn Button;
  const char* Text;
  QMessageBox::ButtonRole Role;
  TModalResult Result;
};

constexpr TButtonSpec kButtons[] = {
    {mbYes, "&Yes", QMessageBox::YesRole, TModalResult::mrYes},
    {mbNo, "&No", QMessageBox::NoRole, TModalResult::mrNo},
    {mbOK, "OK", QMessageBox::AcceptRole, TModalResult::mrOk},
    {mbCancel, "Cancel", QMessageBox::RejectRole, TModalResult::mrCancel},
};

// A box asks for an answer: it shows the arrow even while the program is busy behind it.
TModalResult RunBox(TCenteredMessageBox& box, TMsgDlgButtons buttons, bool busy) {
  std::vector<std::pair<QAbstractButton*, TModalResult>> made;
  QPushButton* first = nullptr;
  QAbstractButton* escape = nullptr;
  for (const TButtonSpec& spec : kButtons) {
    if (!(buttons & spec.Button)) continue;
    QPushButton* b = box.addButton(QString::fromLatin1(spec.Text), spec.Role);
    made.emplace_back(b, spec.Result);
    if (!first) first = b;
    // Escape and the close box answer Cancel, else No, else OK, as the keyboard user expects.
    if (spec.Button == mbCancel || spec.Button == mbNo || (spec.Button == mbOK && !escape))
      escape = b;
  }
  if (made.empty()) {  // a box always has a way out
    QPushButton* b = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    made.emplace_back(b, TModalResult::mrOk);
    first = b;
    escape = b;
  }
  // The only question with Yes and No confirms a deletion: Enter must not delete.
  box.setDefaultButton(buttons & mbNo ? static_cast<QPushButton*>(escape) : first);
  box.setEscapeButton(escape);
  if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy) QGuiApplication::restoreOverrideCursor();
  QAbstractButton* clicked = box.clickedButton();
  if (!clicked) clicked = escape;  // closed some other way: the same as Escape
  for (const auto& [button, result] : made)
    if (button == clicked) return result;
  return TModalResult::mrCancel;
}

void PrepareBox(TCenteredMessageBox& box, const QString& caption, const std::string& text) {
  box.setWindowTitle(caption);
  box.setTextFormat(Qt::PlainText);  // file names may hold '<' and '&'
  box.setText(TQtUserInteraction::BoxText(text));
  box.setWindowModality(Qt::ApplicationModal);
}

}  // namespace

TQtUserInteraction::TQtUserInteraction(QObject* parent) : QObject(parent) {}

QString TQtUserInteraction::Caption(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtError:
      return QStringLiteral("Error");
    case TMsgDlgType::mtInformation:
      return QStringLiteral("Information");
    case TMsgDlgType::mtConfirmation:
      return QStringLiteral("Confirm");
  }
  return QString();
}

QString TQtUserInteraction::BoxText(const std::string& text) {
  QString shown = QString::fromStdString(DisplayText(text));
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

TModalResult TQtUserInteraction::MessageDlg(const std::string& text, TMsgDlgType type,
                                            TMsgDlgButtons buttons) {
  if (FSuppressBoxes) return buttons & mbCancel ? TModalResult::mrCancel : TModalResult::mrOk;
  TCenteredMessageBox box(QApplication::activeWindow());
  PrepareBox(box, Caption(type), text);
  switch (type) {
    case TMsgDlgType::mtError:
      box.setIcon(QMessageBox::Critical);
      break;
    case TMsgDlgType::mtInformation:
      box.setIcon(QMessageBox::Information);
      break;
    case TMsgDlgType::mtConfirmation:
      box.setIcon(QMessageBox::Question);
      break;
  }
  return RunBox(box, buttons, FBusyDepth > 0);
}

bool TQtUserInteraction::ErrorWithChoice(const std::string& text, const QString& choice) {
  if (FSuppressBoxes) return false;
  TCenteredMessageBox box(QApplication::activeWindow());
  PrepareBox(box, Caption(TMsgDlgType::mtError), text);
  box.setIcon(QMessageBox::Critical);
  QPushButton* chosen = box.addButton(choice, QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(chosen);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == chosen;
}

void TQtUserInteraction::ShowMessage(const std::string& text) {
  if (FSuppressBoxes) return;
  TCenteredMessageBox box(QApplication::activeWindow());
  PrepareBox(box, QStringLiteral("StartVELK"), text);
  box.setIcon(QMessageBox::NoIcon);
  RunBox(box, mbOK, FBusyDepth > 0);
}

void TQtUserInteraction::Beep() {
  QApplication::beep();
}

void TQtUserInteraction::SetBusy(bool busy) {
  if (busy) {
    ++FBusyDepth;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (FBusyDepth > 0) {
    --FBusyDepth;
    QGuiApplication::restoreOverrideCursor();
  }
}

void TQtUserInteraction::SetStatusText(const std::string& text) {
  if (OnSetStatusText) OnSetStatusText(text);
}

void TQtUserInteraction::ResetStatusText() {
  if (OnResetStatusText) OnResetStatusText();
}

void TQtUserInteraction::ProcessMessages() {
  QCoreApplication::processEvents();
}

void TQtUserInteraction::RequestQuit() {
  if (FQuitRequested) return;
  FQuitRequested = true;
  emit QuitRequestedChanged();
}

TQtUserInteraction& QtUserInteraction() {
  static TQtUserInteraction instance;
  return instance;
}
