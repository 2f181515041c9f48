// The "Screenshot" page of the main window: the picture, its name, the toolbar and the slide show.

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "MImage.h"
#include "MainArtwork.h"
#include "MainWindow.h"
#include "catalogue/Catalogue.h"
#include "platform/Text.h"
#include "platform/UserInteraction.h"
#include "screenshots/JpegCodec.h"
#include "screenshots/Placement.h"
#include "screenshots/ScreenShot.h"

void TMain::BuildScreenShotTab() {
  ScreenShotTab = new QWidget(PageControl);
  ScreenShotTab->setObjectName("ScreenShotTab");
  auto* layout = new QVBoxLayout(ScreenShotTab);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(0);

  auto* pictureArea = new QWidget(ScreenShotTab);
  pictureArea->setObjectName("PictureArea");
  auto* grid = new QGridLayout(pictureArea);
  grid->setContentsMargins(0, 0, 0, 0);
  SSPanel = new QWidget(pictureArea);
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
    QAction* action = SToolBar->addAction(artwork::ControlIcon(image), hint);
    action->setObjectName(name);
    action->setToolTip(hint);
    if (auto* button = qobject_cast<QToolButton*>(SToolBar->widgetForAction(action))) {
      button->setFixedHeight(35);
      button->setObjectName(QString(name) + "Button");
      // Reached by Tab and pressed with Space, like every other control; its name is the hint.
      button->setFocusPolicy(Qt::TabFocus);
      button->setAccessibleName(hint);
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

  FDetailTimer = new QTimer(this);
  FDetailTimer->setSingleShot(true);
  FDetailTimer->setInterval(150);
  connect(FDetailTimer, &QTimer::timeout, this, [this] { RefreshPictureDetail(); });

  SSTimer = new QTimer(this);
  SSTimer->setObjectName("SSTimer");
  SSTimer->setInterval(1000);

  // Play and Pause act on every change of their state, whether a click, a key or a screen
  // reader made it; like two radio buttons, a change of the one already down keeps it down.
  connect(SToolPlay, &QAction::toggled, this, [this] {
    if (!FSettingSlideShow) Guarded([this] { SToolPlayClick(); });
  });
  connect(SToolPause, &QAction::toggled, this, [this] {
    if (!FSettingSlideShow) Guarded([this] { SToolPauseClick(); });
  });
  for (QAction* action : {SToolPlay, SToolPause}) {
    // A screen reader's toggle reaches the button; the action follows it from here.
    if (auto* button = qobject_cast<QToolButton*>(SToolBar->widgetForAction(action)))
      connect(button, &QToolButton::toggled, action, [action](bool on) {
        if (action->isChecked() != on) action->setChecked(on);
      });
  }
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
  const int width = ToolButtonWidth(SToolBar->width());
  for (QAction* action : SToolBar->actions())
    if (QWidget* button = SToolBar->widgetForAction(action)) button->setFixedWidth(width);
}

// ---------------------------------------------------------------------------------------------
// The set and the picture on show

namespace {

// The decoded pixels as a QImage that owns them, without a copy.
QImage ToQImage(TRgbImage&& rgb) {
  auto* pixels = new std::vector<std::uint8_t>(std::move(rgb.Pixels));
  return QImage(
      pixels->data(), rgb.Width, rgb.Height, rgb.Width * 3, QImage::Format_RGB888,
      [](void* data) { delete static_cast<std::vector<std::uint8_t>*>(data); }, pixels);
}

}  // namespace

const std::vector<std::string>& TMain::ScreenShotFiles() const {
  static const std::vector<std::string> kNone;
  return FScreenShotSet ? FScreenShotSet->Files() : kNone;
}

void TMain::ShowView(const TScreenShotView& view) {
  if (!view.HasPicture) {
    FPicturePath.clear();
    SSImage->ClearPicture();
    NoShotImage->show();
    SSPanel->hide();
    SSShowName->setText(QString());
    return;
  }
  // A picture far larger than its place is decoded at a reduced scale; Original shows every pixel.
  TJpegDecodeOptions options;
  if (ScalingModeOf(MenuOriginal->isChecked(), MenuScaled->isChecked(),
                    MenuStretched->isChecked()) != smOriginal) {
    const QSize place = (QSizeF(SSPanel->size()) * devicePixelRatioF()).toSize();
    options.FitWidth = std::max(place.width(), 1);
    options.FitHeight = std::max(place.height(), 1);
  }
  if (std::optional<TJpegPicture> picture = DecodeJpegFile(view.Path, options)) {
    const QSize full(picture->Width, picture->Height);
    SSImage->SetPicture(ToQImage(std::move(picture->Image)), full);
    FPicturePath = view.Path;
    NoShotImage->hide();
    SSPanel->show();
  } else {
    ReportJpegReadError(FUi);
  }
  PlaceScreenShot();
  SSShowName->setText(QString::fromStdString(DisplayText(view.Name)));
}

void TMain::RefreshPictureDetail() {
  if (FPicturePath.empty() || SSPanel->isHidden()) return;
  const QImage& shown = SSImage->Picture();
  const QSize need = (QSizeF(SSImage->size()) * devicePixelRatioF()).toSize();
  if (shown.width() >= std::min(need.width(), SSImage->PictureSize().width()) &&
      shown.height() >= std::min(need.height(), SSImage->PictureSize().height()))
    return;
  // Quietly: the picture was read before, and a failure now keeps the one on show.
  TJpegDecodeOptions options;
  options.FitWidth = std::max(need.width(), 1);
  options.FitHeight = std::max(need.height(), 1);
  if (std::optional<TJpegPicture> picture = DecodeJpegFile(FPicturePath, options)) {
    const QSize full(picture->Width, picture->Height);
    SSImage->SetPicture(ToQImage(std::move(picture->Image)), full);
  }
}

void TMain::LoadScreenShots() {
  if (FScreenShotSet) ShowView(FScreenShotSet->LoadScreenShots());
}

void TMain::ShowScreenShot() {
  if (FScreenShotSet) ShowView(FScreenShotSet->ShowScreenShot());
}

void TMain::NextScreenShot() {
  if (!FScreenShotSet) return;
  if (std::optional<TScreenShotView> view = FScreenShotSet->NextScreenShot()) ShowView(*view);
}

void TMain::PrevScreenShot() {
  if (!FScreenShotSet) return;
  if (std::optional<TScreenShotView> view = FScreenShotSet->PrevScreenShot()) ShowView(*view);
}

void TMain::DeleteScreenShot() {
  if (!FScreenShotSet) return;
  if (std::optional<TScreenShotView> view = FScreenShotSet->DeleteScreenShot(FUi, *this))
    ShowView(*view);
}

void TMain::ResetAllScreenShots(std::int32_t index) {
  if (FScreenShotSet) ShowView(FScreenShotSet->ResetAllScreenShots(index, *this));
}

bool TMain::SlideShowPlaying() const {
  return SToolPlay->isChecked();
}
void TMain::PauseSlideShow() {
  SToolPauseClick();
}
void TMain::PlaySlideShow() {
  SToolPlayClick();
}

// ---------------------------------------------------------------------------------------------
// Placement and controls

void TMain::PlaceScreenShot() {
  const QSize picture = SSImage->PictureSize();
  const TScalingMode mode =
      ScalingModeOf(MenuOriginal->isChecked(), MenuScaled->isChecked(), MenuStretched->isChecked());
  if (const std::optional<TImageBounds> bounds = ::PlaceScreenShot(
          picture.width(), picture.height(), SSPanel->width(), SSPanel->height(), mode)) {
    SSImage->setGeometry(bounds->Left, bounds->Top, bounds->Width, bounds->Height);
    if (FDetailTimer) FDetailTimer->start();
  }
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

void TMain::MenuShowNameClick() {
  SSShowName->setVisible(MenuShowName->isChecked());
}

// ---------------------------------------------------------------------------------------------
// The slide show

void TMain::SToolPlayClick() {
  SetSlideShowButtons(true);
  EnableSSTimer(true);
}

void TMain::SToolPauseClick() {
  SetSlideShowButtons(false);
  EnableSSTimer(false);
}

void TMain::SetSlideShowButtons(bool playing) {
  const bool before = FSettingSlideShow;
  FSettingSlideShow = true;
  SToolPlay->setChecked(playing);
  SToolPause->setChecked(!playing);
  FSettingSlideShow = before;
}

void TMain::EnableSSTimer(bool enabled) {
  // An interval of 0 never ticks (a QTimer of 0 would fire on every pass of the event loop).
  if (enabled && SSTimer->interval() > 0)
    SSTimer->start();
  else
    SSTimer->stop();
}

void TMain::SSTimerTimer() {
  NextScreenShot();
}

void TMain::SToolTimerClick() {
  if (!FHooks.EditScreenShotTimer) return;
  SSTimer->setInterval(std::max(FHooks.EditScreenShotTimer(SSTimer->interval()), 0));
  // A new interval takes effect at once; a paused slide show stays paused.
  EnableSSTimer(SToolPlay->isChecked());
}
