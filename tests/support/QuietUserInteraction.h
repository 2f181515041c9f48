#pragma once

#include <string>

#include "platform/UserInteraction.h"

// A user who answers every box at once with its first button and otherwise does nothing: for the
// fuzz targets and benchmarks, which must not stop at a prompt. Boxes counts what was shown.
class TQuietUserInteraction : public TUserInteraction {
 public:
  TModalResult MessageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons buttons) override {
    ++Boxes;
    if (buttons & mbYes) return TModalResult::mrYes;
    if (buttons & mbOK) return TModalResult::mrOk;
    return TModalResult::mrCancel;
  }
  void ShowMessage(const std::string&) override { ++Boxes; }
  void Beep() override {}
  void SetStatusText(const std::string&) override {}
  void ResetStatusText() override {}
  void ProcessMessages() override {}
  bool WaitDispatching(TWaitHandle) override { return WaitResult; }
  bool QuitRequested() const override { return false; }

  int Boxes = 0;
  bool WaitResult = true;  ///< what a wait reports
};
