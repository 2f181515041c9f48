#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/UserInteraction.h"

/// Records everything the code under test tells the user. Prompts (message boxes of any kind and
/// plain boxes) must be announced with Expect...; any other prompt fails the test.
class FakeUserInteraction : public TUserInteraction {
 public:
  struct Prompt {
    bool Plain = false;          ///< ShowMessage rather than MessageDlg
    TMsgDlgType Type = TMsgDlgType::mtError;
    std::string Text;
    TMsgDlgButtons Buttons = 0;
    bool Busy = false;  ///< shown while the hourglass was up
  };

  ~FakeUserInteraction() override {
    for (const Expected& e : FExpected)
      ADD_FAILURE() << "expected prompt never shown: " << e.Text;
  }

  /// The next prompt must be a box of this type whose text equals text; it answers with answer.
  void ExpectMessage(TMsgDlgType type, std::string text, TModalResult answer = TModalResult::mrOk) {
    FExpected.push_back({false, type, std::move(text), answer});
  }
  /// The next prompt must be a plain box with this text.
  void ExpectPlain(std::string text) {
    FExpected.push_back({true, TMsgDlgType::mtError, std::move(text), TModalResult::mrOk});
  }

  TModalResult MessageDlg(const std::string& text, TMsgDlgType type,
                          TMsgDlgButtons buttons) override {
    Prompts.push_back({false, type, text, buttons, BusyDepth > 0});
    Events.push_back("box:" + text);
    if (FExpected.empty() || FExpected.front().Plain || FExpected.front().Type != type ||
        FExpected.front().Text != text) {
      ADD_FAILURE() << "unexpected message box: " << text;
      if (!FExpected.empty()) FExpected.pop_front();
      return TModalResult::mrCancel;
    }
    const TModalResult answer = FExpected.front().Answer;
    FExpected.pop_front();
    return answer;
  }

  void ShowMessage(const std::string& text) override {
    Prompts.push_back({true, TMsgDlgType::mtError, text, mbOK, BusyDepth > 0});
    Events.push_back("plain:" + text);
    if (FExpected.empty() || !FExpected.front().Plain || FExpected.front().Text != text) {
      ADD_FAILURE() << "unexpected plain message: " << text;
      if (!FExpected.empty()) FExpected.pop_front();
      return;
    }
    FExpected.pop_front();
  }

  void Beep() override {
    ++Beeps;
    Events.push_back("beep");
  }
  void SetStatusText(const std::string& text) override {
    StatusTexts.push_back(text);
    Events.push_back("status:" + text);
  }
  void ResetStatusText() override {
    ++StatusResets;
    Events.push_back("status-reset");
  }
  void ProcessMessages() override {
    ++ProcessMessagesCalls;
    if (OnProcessMessages) OnProcessMessages();
  }
  bool WaitDispatching(TWaitHandle handle) override {
    ++Waits;
    if (OnWait) return OnWait(handle);
    return WaitForHandle(handle);
  }
  bool QuitRequested() const override { return Quit; }
  void SetBusy(bool busy) override {
    BusyCalls.push_back(busy);
    if (busy) {
      ++BusyDepth;
    } else if (BusyDepth > 0) {
      --BusyDepth;
    } else {
      ADD_FAILURE() << "hourglass taken down that was not up";
    }
  }

  /// Blocks until the handle is signalled (a readable descriptor on POSIX).
  static bool WaitForHandle(TWaitHandle handle);

  std::vector<Prompt> Prompts;
  std::vector<std::string> Events;
  std::vector<std::string> StatusTexts;
  int Beeps = 0;
  int StatusResets = 0;
  int ProcessMessagesCalls = 0;
  int Waits = 0;
  int BusyDepth = 0;          ///< hourglasses up now
  std::vector<bool> BusyCalls;  ///< every SetBusy, in order
  bool Quit = false;
  std::function<void()> OnProcessMessages;
  std::function<bool(TWaitHandle)> OnWait;

 private:
  struct Expected {
    bool Plain;
    TMsgDlgType Type;
    std::string Text;
    TModalResult Answer;
  };
  std::deque<Expected> FExpected;
};
