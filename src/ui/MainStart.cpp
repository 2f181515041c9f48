#include "MainStart.h"

#include <QAction>
#include <QCloseEvent>
#include <QListWidget>

#include "ui/MainWindow.h"
#include "ui/QtUserInteraction.h"

TMainGameStart::TMainGameStart(TMain& main, TCatalogue& catalogue, TQtUserInteraction& ui)
    : QObject(nullptr),
      ExecEmu(&ui),
      ZipArchive(ui),
      Capture(catalogue, ui),
      FMain(main),
      FUi(ui),
      FStarter(catalogue, ExecEmu, ZipArchive, ui, *this) {
  FMain.Hooks().StartGame = [this] { StartEmuButtonClick(); };
  // The unzip progress and "Starting VELK" go to the window's status bar.
  if (!FUi.OnSetStatusText && !FUi.OnResetStatusText) {
    FUi.OnSetStatusText = [this](const std::string& text) { FMain.SetStatusText(text); };
    FUi.OnResetStatusText = [this] { FMain.ResetStatusText(); };
    FOwnsStatusHooks = true;
  }
  FMain.installEventFilter(this);
}

TMainGameStart::~TMainGameStart() {
  FMain.removeEventFilter(this);
  FMain.Hooks().StartGame = nullptr;
  if (FOwnsStatusHooks) {
    FUi.OnSetStatusText = nullptr;
    FUi.OnResetStatusText = nullptr;
  }
}

void TMainGameStart::StartEmuButtonClick() {
  FStarter.StartEmuButtonClick();
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

bool TMainGameStart::eventFilter(QObject* watched, QEvent* event) {
  // The run's wait sleeps in an event loop of its own; without the quit it would outlive the
  // window and keep the program from ending until the emulator does.
  if (watched == &FMain && event->type() == QEvent::Close && FStarter.Running()) FUi.RequestQuit();
  return QObject::eventFilter(watched, event);
}
