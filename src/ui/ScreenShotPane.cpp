// The "Screenshot" page of the main window: the picture, its name, the toolbar and the slide show.

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "MImage.h"
#include "MainArtwork.h"
#include "MainWindow.h"
#include "ScreenShotBridge.h"
#include "catalogue/Catalogue.h"
#include "platform/Files.h"
#include "platform/UserInteraction.h"

void TMain::BuildScreenShotTab() {
  ScreenShotTab = new QWidget;
  ScreenShotTab->setObjectName("ScreenShotTab");
  auto* layout = new QVBoxLayout(ScreenShotTab);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(0);

  auto* pictureArea = new QWidget;
  pictureArea->setObjectName("PictureArea");
  auto* grid = new QGridLayout(pictureArea);
  grid->setContentsMargins(0, 0, 0, 0);
  SSPanel = new QWidget;
  SSPanel->setObjectName("SSPanel");
  SSImage = new TMImage(SSPanel);
  SSImage->setObjectName("SSImage");
  SSImage->setAccessibleName("Screenshot");
  NoShotImage = new TMImage;
  NoShotImage->setObjectName("NoShotImage");
  NoShotImage->setAccessibleName("No screenshot found");
  NoShotImage->SetPicture(artwork::NoShotPicture());
  grid->addWidget(SSPanel, 0, 0);
  grid->addWidget(NoShotImage, 0, 0);
  SSPanel->hide();
  SSPanel->installEventFilter(this);
  layout->addWidget(pictureArea, 1);

  SSShowName = new QLabel("None");
  SSShowName->setObjectName("SSShowName");
  SSShowName->setAlignment(Qt::AlignCenter);
  layout->addWidget(SSShowName);

  SToolBar = new QToolBar;
  SToolBar->setObjectName("SToolBar");
  SToolBar->setFixedHeight(39);
  SToolBar->setIconSize(QSize(28, 28));
  SToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  SToolBar->setMovable(false);
  SToolBar->setFloatable(false);
  SToolBar->setStyleSheet("QToolBar { border: 0px; background: transparent; spacing: 0px; }");
  auto tool = [this](int image, const char* hint, const char* name) {
    QAction* action = SToolBar->addAction(QIcon(artwork::ControlImage(image)), hint);
    action->setObjectName(name);
    action->setToolTip(hint);
    if (auto* button = qobject_cast<QToolButton*>(SToolBar->widgetForAction(action))) {
      button->setFixedHeight(35);
      button->setObjectName(QString(name) + "Button");
    }
    return action;
  };
  SToolPlay = tool(0, "Play", "SToolPlay");
  SToolPause = tool(1, "Pause", "SToolPause");
  SToolPrev = tool(2, "Previous", "SToolPrev");
  SToolNext = tool(3, "Next", "SToolNext");
  SToolTimer = tool(4, "Set Timer", "SToolTimer");
  SToolKill = tool(5, "Delete Screenshot", "SToolKill");
  SToolClose = tool(6, "Hide Controls", "SToolClose");
  SToolBar->setMinimumHeight(39);  // the toolbar's own layout resets what was set before
  SToolPlay->setCheckable(true);
  SToolPause->setCheckable(true);
  SToolPause->setChecked(true);
  SToolBar->installEventFilter(this);
  layout->addWidget(SToolBar);

  SSTimer = new QTimer(this);
  SSTimer->setObjectName("SSTimer");
  SSTimer->setInterval(1000);

  connect(SToolPlay, &QAction::triggered, this, [this] { Guarded([this] { SToolPlayClick(); }); });
  connect(SToolPause, &QAction::triggered, this,
          [this] { Guarded([this] { SToolPauseClick(); }); });
  connect(SToolPrev, &QAction::triggered, this, [this] { Guarded([this] { PrevScreenShot(); }); });
  connect(SToolNext, &QAction::triggered, this, [this] { Guarded([this] { NextScreenShot(); }); });
  connect(SToolTimer, &QAction::triggered, this,
          [this] { Guarded([this] { SToolTimerClick(); }); });
  connect(SToolKill, &QAction::triggered, this,
          [this] { Guarded([this] { DeleteScreenShot(); }); });
  connect(SToolClose, &QAction::triggered, this,
          [this] { Guarded([this] { MenuShowControlsClick(); }); });
  connect(SSTimer, &QTimer::timeout, this, [this] { Guarded([this] { SSTimerTimer(); }); });
}

void TMain::SToolBarResize() {
  const int width = SToolBar->width() / 7;
  for (QAction* action : SToolBar->actions())
    if (QWidget* button = SToolBar->widgetForAction(action)) button->setFixedWidth(width);
}

// ---------------------------------------------------------------------------------------------
// The set and the picture on show

void TMain::FindScreenShots(const std::string& zipName) {
  FScreenShotFiles = screenshots_bridge::FindScreenShots(zipName);
}

void TMain::LoadScreenShots() {
  TCatalogue& cat = Catalogue();
  if (cat.CurrentGame < 0 || cat.CurrentGame >= static_cast<std::int32_t>(cat.Games.size())) {
    FScreenShotFiles.clear();
    ShowScreenShot();
    return;
  }
  FindScreenShots(cat.Games[cat.CurrentGame].ZipName.str());
  TGameRecord& game = cat.Games[cat.CurrentGame];
  if (game.CurrentSS > static_cast<std::int32_t>(FScreenShotFiles.size()) - 1) game.CurrentSS = 0;
  ShowScreenShot();
}

void TMain::ShowScreenShot() {
  TCatalogue& cat = Catalogue();
  const bool haveGame =
      cat.CurrentGame >= 0 && cat.CurrentGame < static_cast<std::int32_t>(cat.Games.size());
  std::string name;
  if (haveGame && !FScreenShotFiles.empty()) {
    std::int32_t& index = cat.Games[cat.CurrentGame].CurrentSS;
    if (index < 0 || index > static_cast<std::int32_t>(FScreenShotFiles.size()) - 1) index = 0;
    name = FScreenShotFiles[static_cast<std::size_t>(index)];
  }
  const std::string path =
      platform::JoinPath(platform::JoinPath(cat.GameDir, "ScreenShots"), name);
  if (!name.empty() && platform::FileExists(path)) {
    QImage picture;
    if (screenshots_bridge::LoadPicture(path, picture)) {
      SSImage->SetPicture(picture);
      NoShotImage->hide();
      SSPanel->show();
    } else {
      FUi.Beep();
      FUi.MessageDlg("Error reading jpg-image!", TMsgDlgType::mtError, mbOK);
    }
    PlaceScreenShot();
    SSShowName->setText(QString::fromStdString(name));
  } else {
    SSImage->ClearPicture();
    NoShotImage->show();
    SSPanel->hide();
    SSShowName->setText(QString());
  }
}

void TMain::NextScreenShot() {
  TCatalogue& cat = Catalogue();
  if (cat.CurrentGame < 0 || cat.CurrentGame >= static_cast<std::int32_t>(cat.Games.size()))
    return;
  std::int32_t& index = cat.Games[cat.CurrentGame].CurrentSS;
  const auto count = static_cast<std::int32_t>(FScreenShotFiles.size());
  index = index < count - 1 ? index + 1 : 0;
  if (count > 0) ShowScreenShot();
}

void TMain::PrevScreenShot() {
  TCatalogue& cat = Catalogue();
  if (cat.CurrentGame < 0 || cat.CurrentGame >= static_cast<std::int32_t>(cat.Games.size()))
    return;
  std::int32_t& index = cat.Games[cat.CurrentGame].CurrentSS;
  const auto count = static_cast<std::int32_t>(FScreenShotFiles.size());
  index = index > 0 ? index - 1 : std::max(count - 1, 0);
  ShowScreenShot();
}

void TMain::DeleteScreenShot() {
  TCatalogue& cat = Catalogue();
  if (FScreenShotFiles.empty() || cat.CurrentGame < 0 ||
      cat.CurrentGame >= static_cast<std::int32_t>(cat.Games.size()))
    return;
  const bool playing = SToolPlay->isChecked();
  SToolPauseClick();
  FUi.Beep();
  const TModalResult answer =
      FUi.MessageDlg("Are you sure you want to delete\rthe current Screenshot ?",
                     TMsgDlgType::mtConfirmation, mbYes | mbNo);
  if (answer == TModalResult::mrYes) {
    std::int32_t& index = cat.Games[cat.CurrentGame].CurrentSS;
    if (index < 0 || index > static_cast<std::int32_t>(FScreenShotFiles.size()) - 1) index = 0;
    const std::string path =
        platform::JoinPath("ScreenShots", FScreenShotFiles[static_cast<std::size_t>(index)]);
    if (platform::FileExists(path)) {
      platform::DeleteFile(path);
      LoadScreenShots();
    }
  }
  if (playing) SToolPlayClick();
}

void TMain::ResetAllScreenShots(std::int32_t index) {
  SToolPauseClick();
  TCatalogue& cat = Catalogue();
  for (std::size_t i = 1; i < cat.Games.size(); ++i) cat.Games[i].CurrentSS = index;
  ShowScreenShot();
}

// ---------------------------------------------------------------------------------------------
// Placement and controls

void TMain::PlaceScreenShot() {
  const QImage& picture = SSImage->Picture();
  screenshots_bridge::TPlacementMode mode = screenshots_bridge::pmNone;
  if (MenuStretched->isChecked())
    mode = screenshots_bridge::pmStretched;
  else if (MenuScaled->isChecked())
    mode = screenshots_bridge::pmScaled;
  else if (MenuOriginal->isChecked())
    mode = screenshots_bridge::pmOriginal;
  QRect bounds;
  if (screenshots_bridge::Place(picture.width(), picture.height(), SSPanel->width(),
                                SSPanel->height(), mode, bounds))
    SSImage->setGeometry(bounds);
}

void TMain::MenuScreenShotScalingClick(QAction* entry) {
  for (QAction* a : {MenuOriginal, MenuScaled, MenuStretched}) a->setChecked(a == entry);
  PlaceScreenShot();
}

void TMain::UpdateScreenShotControls() {
  setUpdatesEnabled(false);
  SSShowName->hide();
  SToolBar->setVisible(MenuShowControls->isChecked());
  SSShowName->setVisible(MenuShowName->isChecked());
  setUpdatesEnabled(true);
}

void TMain::MenuShowControlsClick() {
  // Through the menu the action has toggled its check already; from the toolbar it has not.
  if (MenuShowControls->isChecked() != SToolBar->isHidden())
    MenuShowControls->setChecked(!MenuShowControls->isChecked());
  UpdateScreenShotControls();
}

void TMain::MenuShowNameClick() { SSShowName->setVisible(MenuShowName->isChecked()); }

// ---------------------------------------------------------------------------------------------
// The slide show

void TMain::SToolPlayClick() {
  SToolPause->setChecked(false);
  SToolPlay->setChecked(true);
  EnableSSTimer(true);
}

void TMain::SToolPauseClick() {
  SToolPlay->setChecked(false);
  SToolPause->setChecked(true);
  EnableSSTimer(false);
}

void TMain::EnableSSTimer(bool enabled) {
  // An interval of 0 never ticks (a QTimer of 0 would fire on every pass of the event loop).
  if (enabled && SSTimer->interval() > 0)
    SSTimer->start();
  else
    SSTimer->stop();
}

void TMain::SSTimerTimer() { NextScreenShot(); }

void TMain::SToolTimerClick() {
  if (!FHooks.EditScreenShotTimer) return;
  const bool running = SSTimer->isActive() || SToolPlay->isChecked();
  SSTimer->setInterval(std::max(FHooks.EditScreenShotTimer(SSTimer->interval()), 0));
  EnableSSTimer(running && SToolPlay->isChecked());
}
