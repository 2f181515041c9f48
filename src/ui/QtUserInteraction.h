#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "platform/UserInteraction.h"

class QMessageBox;

/// The message boxes, beep, status line and event dispatching that the GUI-free code asks for.
class TQtUserInteraction : public QObject, public TUserInteraction {
  Q_OBJECT

 public:
  explicit TQtUserInteraction(QObject* parent = nullptr);

  TModalResult MessageDlg(const std::string& text, TMsgDlgType type,
                          TMsgDlgButtons buttons) override;
  void ShowMessage(const std::string& text) override;
  /// An error box with a button of its own besides "Cancel"; true when that button was pressed.
  bool ErrorWithChoice(const std::string& text, const QString& choice);
  void Beep() override;
  void SetStatusText(const std::string& text) override;
  void ResetStatusText() override;
  void ProcessMessages() override;
  bool WaitDispatching(TWaitHandle handle) override;
  bool QuitRequested() const override { return FQuitRequested; }
  void SetBusy(bool busy) override;

  /// The main window calls this when it is closed: every running wait returns.
  void RequestQuit();
  /// From now on boxes are not shown: they return at once as if closed. For a program that is
  /// ending before its window exists.
  void SuppressBoxes() { FSuppressBoxes = true; }

  /// Set by the main window: its status bar's message panel.
  std::function<void(const std::string&)> OnSetStatusText;
  std::function<void()> OnResetStatusText;

  /// Called with every box right after it has been shown, inside its modal loop. Tests answer
  /// boxes through it (click a button or close the box); null in the program.
  static std::function<void(QMessageBox*)> BoxShownHook;

  /// The caption of a box of the kind.
  static QString Caption(TMsgDlgType type);
  /// The text as the box shows it: display encoding, a carriage return breaking the line.
  static QString BoxText(const std::string& text);

 signals:
  void QuitRequestedChanged();

 private:
  bool FQuitRequested = false;
  bool FSuppressBoxes = false;
  int FBusyDepth = 0;
};

/// The one instance the program's windows share; created on first use.
TQtUserInteraction& QtUserInteraction();
