#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/UserInteraction.h"

/// Runs action on the modal window once it is up (the caller then enters its modal loop).
inline void WhenModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool giveUp = clock->elapsed() > 10000;  // a broken dialog must not hang the suite
    if (!modal && !giveUp) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    if (modal) action(modal);
  });
  timer->start();
}

/// Records what the dialogs tell the user and answers every box with OK.
class TRecordingUserInteraction : public TUserInteraction {
 public:
  struct TBox {
    std::string Text;
    TMsgDlgType Type;
    TMsgDlgButtons Buttons;
  };
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type,
                          TMsgDlgButtons buttons) override {
    Boxes.push_back({text, type, buttons});
    Events.push_back("box");
    return TModalResult::mrOk;
  }
  void ShowMessage(const std::string& text) override {
    Boxes.push_back({text, TMsgDlgType::mtInformation, 0});
  }
  void Beep() override { Events.push_back("beep"); }
  void SetStatusText(const std::string&) override {}
  void ResetStatusText() override {}
  void ProcessMessages() override {}
  bool WaitDispatching(TWaitHandle) override { return true; }
  bool QuitRequested() const override { return false; }

  std::vector<TBox> Boxes;
  std::vector<std::string> Events;
};
