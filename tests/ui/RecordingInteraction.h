#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/UserInteraction.h"

/// Records what the windows tell the user. Boxes are answered from Answers (OK when it is empty);
/// Events holds "box", "plain" and "beep" in the order they came.
class TRecordingInteraction : public TUserInteraction {
 public:
  struct Box {
    std::string Text;
    TMsgDlgType Type;
    TMsgDlgButtons Buttons;
  };
  TModalResult MessageDlg(const std::string& text, TMsgDlgType type,
                          TMsgDlgButtons buttons) override {
    Boxes.push_back({text, type, buttons});
    Events.push_back("box");
    if (Answers.empty()) return TModalResult::mrOk;
    const TModalResult answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void ShowMessage(const std::string& text) override {
    Plain.push_back(text);
    Events.push_back("plain");
  }
  void Beep() override {
    ++Beeps;
    Events.push_back("beep");
  }
  void SetStatusText(const std::string& text) override { Status.push_back(text); }
  void ResetStatusText() override {}
  void ProcessMessages() override {}
  bool WaitDispatching(TWaitHandle) override { return false; }
  bool QuitRequested() const override { return false; }

  std::vector<Box> Boxes;
  std::vector<std::string> Plain;
  std::vector<std::string> Status;
  std::vector<std::string> Events;
  std::deque<TModalResult> Answers;
  int Beeps = 0;
};
