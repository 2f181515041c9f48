#pragma once

#include <cstdint>
#include <string>

// The one way the GUI-free code asks the user something or lets the window breathe. The Qt program
// implements it; tests use a recording fake that fails on any prompt they did not expect.

enum class TMsgDlgType { mtError, mtInformation, mtConfirmation };

enum TMsgDlgBtn : unsigned { mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3 };
using TMsgDlgButtons = unsigned;

enum class TModalResult { mrNone, mrYes, mrNo, mrOk, mrCancel };

/// Something a wait can sleep on: a readable file descriptor on POSIX, a waitable HANDLE on Windows.
using TWaitHandle = std::intptr_t;

class TUserInteraction {
 public:
  virtual ~TUserInteraction() = default;

  /// Modal box of a kind (caption and icon), centred on the screen; a carriage return in the text
  /// breaks the line. Returns the button pressed (mrCancel-like results when closed otherwise).
  virtual TModalResult MessageDlg(const std::string& text, TMsgDlgType type,
                                  TMsgDlgButtons buttons) = 0;

  /// Plain box: caption "StartVELK", no icon, one "OK" button.
  virtual void ShowMessage(const std::string& text) = 0;

  /// The system's default beep.
  virtual void Beep() = 0;

  /// Progress text in the status bar, repainted at once; ResetStatusText puts the title back.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void ResetStatusText() = 0;

  /// Runs the events that are pending now, without waiting for more.
  virtual void ProcessMessages() = 0;

  /// Sleeps, dispatching events as they arrive, until handle is signalled or the program is asked
  /// to quit; never polls. Returns true when the handle was signalled.
  virtual bool WaitDispatching(TWaitHandle handle) = 0;

  /// True once the user asked the program to end (the main window was closed).
  virtual bool QuitRequested() const = 0;

  /// The hourglass over every window while a long read runs (true), then the cursor as it was
  /// (false). Calls nest; boxes shown meanwhile keep the arrow. Use TBusyCursor to pair them.
  virtual void SetBusy(bool busy) { (void)busy; }
};

/// Shows the hourglass for as long as it lives, whichever way the scope is left.
class TBusyCursor {
 public:
  explicit TBusyCursor(TUserInteraction& ui) : FUi(ui) { FUi.SetBusy(true); }
  ~TBusyCursor() { FUi.SetBusy(false); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  TUserInteraction& FUi;
};
