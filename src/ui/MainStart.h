#pragma once

#include <QObject>
#include <memory>

#include "launch/ExecFile.h"
#include "launch/StartGame.h"
#include "launch/ZipArchive.h"
#include "ui/ClipboardCapture.h"

class TMain;
class TQtUserInteraction;

/// The start of a game in the main window: the window's launcher ExecEmu, its zip component
/// ZipArchive, the clipboard capture, and the starter driving the window's list, slide show and
/// screenshot pane. Made right after the window and gone before it.
class TMainGameStart : public QObject, public TStartWindow {
  Q_OBJECT

 public:
  /// Hooks itself into main: its start handler runs StartEmuButtonClick, and a close of the window
  /// during a run ends the run's wait through ui (the window's own close handling still runs).
  TMainGameStart(TMain& main, TCatalogue& catalogue, TQtUserInteraction& ui);
  ~TMainGameStart() override;

  void StartEmuButtonClick();

  TExecFile ExecEmu;
  TZipArchive ZipArchive;
  TClipboardCapture Capture;

  // The window's parts, as the start drives them.
  bool SelectedGameChecked() const override;
  void JoinClipboardChain() override;
  void LeaveClipboardChain() override;
  void StopSlideShowTimer() override;
  void FollowSlideShowPlayButton() override;
  void LoadScreenShots() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TMain& FMain;
  TQtUserInteraction& FUi;
  TGameStarter FStarter;
  bool FOwnsStatusHooks = false;
};
