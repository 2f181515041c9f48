#include "MainStart.h"

#include <QAction>
#include <QListWidget>

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
  const QList<QListWidgetItem*> selected = FMain.GameList->selectedItems();
  return !selected.isEmpty() && selected.front()->checkState() == Qt::Checked;
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
