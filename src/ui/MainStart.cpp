#include "MainStart.h"

#include <QAction>

#include "ui/GameListView.h"
#include "ui/MainWindow.h"

TMainGameStart::TMainGameStart(TMain& main, TCatalogue& catalogue, TUserInteraction& ui)
    : Capture(catalogue, ui),
      FMain(main),
      FStarter(catalogue, *main.ExecEmu, *main.ZipArchive, ui, *this) {
  FMain.Hooks().StartGame = [this] { StartEmuButtonClick(); };
}

TMainGameStart::~TMainGameStart() {
  FMain.Hooks().StartGame = nullptr;
}

bool TMainGameStart::SelectedGameChecked() const {
  const int row = FMain.GameList->currentRow();
  return row >= 0 && FMain.GameList->RowChecked(row);
}

void TMainGameStart::JoinClipboardChain() {
  Capture.JoinClipboardChain();
}
void TMainGameStart::LeaveClipboardChain() {
  Capture.LeaveClipboardChain();
}
void TMainGameStart::StopSlideShowTimer() {
  FMain.EnableSSTimer(false);
}
void TMainGameStart::FollowSlideShowPlayButton() {
  FMain.EnableSSTimer(FMain.SToolPlay->isChecked());
}
void TMainGameStart::LoadScreenShots() {
  FMain.LoadScreenShots();
}
