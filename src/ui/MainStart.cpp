#include "MainStart.h"

#include <QAction>
#include <QLocale>
#include <QProgressBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolButton>

#include "catalogue/Catalogue.h"
#include "launch/BatchFile.h"
#include "ui/GameListView.h"
#include "ui/MainWindow.h"
#include "ui/StartUtils.h"

namespace {

// "1,839 of 12,000 files", in the user's digits and grouping.
class TUnzipProgressBar : public QProgressBar {
 public:
  QString text() const override { return Text(value(), maximum()); }
  static QString Text(int done, int total) {
    const QLocale locale;
    return QStringLiteral("%1 of %2 files").arg(locale.toString(done), locale.toString(total));
  }
};

}  // namespace

TMainGameStart::TMainGameStart(TMain& main, TCatalogue& catalogue, TUserInteraction& ui)
    : Capture(catalogue, ui),
      RunningGame(main),
      FMain(main),
      FUi(ui),
      FCatalogue(catalogue),
      FStarter(catalogue, *main.ExecEmu, *main.ZipArchive, ui, *this) {
  FMain.Hooks().StartGame = [this] { StartEmuButtonClick(); };
  // A zipped game that still runs when the window closes keeps its batch files until it ends;
  // the start deletes them then.
  if (FMain.Hooks().ShutdownIO)
    FMain.Hooks().ShutdownIO = [this, &catalogue, &ui](const TWindowState& window) {
      ShutdownIO(catalogue, ui, window, [this, &catalogue] {
        if (!FStarter.ZippedRunActive()) DeleteBatchFiles(catalogue.GameDir);
      });
    };

  UnzipProgress = new TUnzipProgressBar;
  UnzipProgress->setObjectName("UnzipProgress");
  UnzipProgress->setAccessibleName("Unzip progress");
  UnzipCancel = new QToolButton;
  UnzipCancel->setObjectName("UnzipCancel");
  UnzipCancel->setText("Cancel");
  // One line of the status bar, at any scale: as wide as the longest count needs, as high as the
  // bar leaves, text and all.
  const int line = FMain.statusBar()->maximumHeight() - 4;
  const QFontMetrics metrics(FMain.font());
  UnzipProgress->setFixedSize(
      metrics.horizontalAdvance(TUnzipProgressBar::Text(999999, 999999)) + 2 * metrics.height(),
      line);
  UnzipCancel->setAutoRaise(true);
  UnzipCancel->setFixedSize(metrics.horizontalAdvance(UnzipCancel->text()) + metrics.height(),
                            line);
  UnzipCancel->setToolTip("Stop unzipping (Esc)");
  UnzipCancel->setAccessibleName("Cancel unzipping");
  FMain.statusBar()->addPermanentWidget(UnzipProgress);
  FMain.statusBar()->addPermanentWidget(UnzipCancel);
  UnzipProgress->hide();
  UnzipCancel->hide();
  QObject::connect(UnzipCancel, &QToolButton::clicked, &FMain, [this] { CancelExtraction(); });
  // Escape anywhere in the window stops an extraction; it does nothing at other times.
  FEscape = new QShortcut(QKeySequence(Qt::Key_Escape), &FMain);
  FEscape->setContext(Qt::WindowShortcut);
  FEscape->setEnabled(false);
  QObject::connect(FEscape, &QShortcut::activated, &FMain, [this] { CancelExtraction(); });
}

void TMainGameStart::ShowUnzipProgress(int done, int total) {
  UnzipProgress->setRange(0, total);
  UnzipProgress->setValue(done);
  if (UnzipProgress->isHidden()) {
    UnzipProgress->show();
    UnzipCancel->show();
    FEscape->setEnabled(true);
  }
}

void TMainGameStart::ShowCleanUpProgress(int done, int total) {
  FUi.SetStatusText(CleanUpProgressText(done, total));
  UnzipProgress->setRange(0, total);
  UnzipProgress->setValue(done);
  UnzipProgress->show();
  UnzipCancel->hide();
}

void TMainGameStart::HideUnzipProgress() {
  UnzipProgress->hide();
  UnzipCancel->hide();
  FEscape->setEnabled(false);
}

TMainGameStart::~TMainGameStart() {
  FMain.Hooks().StartGame = nullptr;
  delete FEscape;
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
void TMainGameStart::RunBegins(std::int32_t game) {
  if (OnRunBegins) OnRunBegins(game);
  RunningGame.Begins(ShownText(FCatalogue.Games[static_cast<std::size_t>(game)].Name));
}
void TMainGameStart::EmulatorStarting(const TRunFacts& facts) {
  if (OnEmulatorStarting) OnEmulatorStarting(facts);
}
void TMainGameStart::RunEnded() {
  RunningGame.Ends();
  if (OnRunOver) OnRunOver(FStarter.LastRunFacts());
}
void TMainGameStart::ClosedDuringRun() {
  RunningGame.ClosedDuringRun(FMain.ExecEmu->ProcessId());
}
