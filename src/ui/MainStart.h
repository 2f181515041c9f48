#pragma once

#include <QObject>
#include <functional>

#include "launch/StartGame.h"
#include "ui/ClipboardCapture.h"
#include "ui/RunningGame.h"

class QProgressBar;
class QShortcut;
class QToolButton;
class TMain;
class TUserInteraction;

/// The start of a game in the main window: the starter on the window's ExecEmu and ZipArchive,
/// the clipboard capture, and the window's list, slide show and screenshot pane as the start
/// drives them. Made right after the window and gone before it.
class TMainGameStart : public TStartWindow {
 public:
  /// Becomes the window's start handler (its StartGame hook).
  TMainGameStart(TMain& main, TCatalogue& catalogue, TUserInteraction& ui);
  ~TMainGameStart() override;
  TMainGameStart(const TMainGameStart&) = delete;
  TMainGameStart& operator=(const TMainGameStart&) = delete;

  void StartEmuButtonClick() { FStarter.StartEmuButtonClick(); }
  bool Running() const { return FStarter.Running(); }
  /// The Cancel control and Escape during an extraction.
  void CancelExtraction() { FStarter.CancelExtraction(); }

  /// In the status bar while an archive is extracted: files done of all, and Cancel.
  QProgressBar* UnzipProgress = nullptr;
  QToolButton* UnzipCancel = nullptr;

  TClipboardCapture Capture;
  TRunningGame RunningGame;
  /// Told when a start begins, right before its emulator starts, and when the start is over with
  /// what it did (the play history records them).
  std::function<void(std::int32_t game)> OnRunBegins;
  std::function<void(const TRunFacts& facts)> OnEmulatorStarting;
  std::function<void(const TRunFacts& facts)> OnRunOver;

  bool SelectedGameChecked() const override;
  void JoinClipboardChain() override;
  void LeaveClipboardChain() override;
  void StopSlideShowTimer() override;
  void FollowSlideShowPlayButton() override;
  void LoadScreenShots() override;
  void ShowUnzipProgress(int done, int total) override;
  void ShowCleanUpProgress(int done, int total) override;
  void HideUnzipProgress() override;
  void RunBegins(std::int32_t game) override;
  void EmulatorStarting(const TRunFacts& facts) override;
  void RunEnded() override;
  void ClosedDuringRun() override;

 private:
  TMain& FMain;
  TUserInteraction& FUi;
  TCatalogue& FCatalogue;
  TGameStarter FStarter;
  QShortcut* FEscape = nullptr;
};
