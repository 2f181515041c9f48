#pragma once

#include <string>

#include "platform/UserInteraction.h"

// The user as the fuzz targets see them: every box is answered at once with its first button.
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
  bool WaitDispatching(TWaitHandle) override { return true; }
  bool QuitRequested() const override { return false; }

  int Boxes = 0;
};
