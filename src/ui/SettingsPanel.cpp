// The "Settings" page of the main window: the emulator settings of the current game, or of the
// default-settings record while that is edited.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "GameListView.h"
#include "MainArtwork.h"
#include "MainWindow.h"
#include "StartUtils.h"
#include "catalogue/Catalogue.h"
#include "platform/Text.h"
#include "platform/UserInteraction.h"

namespace {

QCheckBox* CheckAt(QWidget* parent, const char* caption, const char* name, int top) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->move(8, top);
  box->resize(box->sizeHint().expandedTo(QSize(200, 17)));
  return box;
}

QGroupBox* Group(QWidget* area, const char* caption, const char* name, int height) {
  auto* group = new QGroupBox(caption, area);
  group->setObjectName(name);
  group->setFixedHeight(height);
  return group;
}

}  // namespace

void TMain::BuildSettingsTab() {
  SettingsTab = new QWidget(PageControl);
  SettingsTab->setObjectName("SettingsTab");

  ChUseDefSettings = new QCheckBox("Use Default Settings", SettingsTab);
  ChUseDefSettings->setObjectName("ChUseDefSettings");
  ChUseDefSettings->setGeometry(8, 8, 145, 17);
  ChUseDefSettings->resize(ChUseDefSettings->sizeHint().expandedTo(QSize(145, 17)));

  SaveDefaultSettingsButton = new QPushButton("Save Default Settings", SettingsTab);
  SaveDefaultSettingsButton->setObjectName("SaveDefaultSettingsButton");
  SaveDefaultSettingsButton->setIcon(artwork::DocumentIcon());
  SaveDefaultSettingsButton->setGeometry(8, 8, 161, 25);
  SaveDefaultSettingsButton->resize(
      SaveDefaultSettingsButton->sizeHint().expandedTo(QSize(161, 25)));
  SaveDefaultSettingsButton->hide();

  SettingsScrollBox = new QScrollArea(SettingsTab);
  SettingsScrollBox->setObjectName("SettingsScrollBox");
  SettingsScrollBox->setFrameShape(QFrame::NoFrame);
  SettingsScrollBox->setWidgetResizable(true);
  // Only a frame around the settings: Tab goes to the settings themselves, not to it.
  SettingsScrollBox->setFocusPolicy(Qt::NoFocus);
  auto* area = new QWidget(SettingsScrollBox);
  area->setObjectName("SettingsArea");
  auto* stack = new QVBoxLayout(area);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);

  QGroupBox* display = Group(area, "Display", "Display", 105);
  ChVsync = CheckAt(display, "Vsync", "ChVsync", 16);
  ChScanLines = CheckAt(display, "Scan Lines", "ChScanLines", 32);
  auto* label = new QLabel("Resolution", display);
  label->setObjectName("LbResolution");
  label->move(8, 56);
  CbResolution = new QComboBox(display);
  CbResolution->setObjectName("CbResolution");
  CbResolution->setEditable(true);
  CbResolution->setInsertPolicy(QComboBox::NoInsert);
  CbResolution->addItems(
      {"Default", "384x256", "360x256", "320x400", "320x240", "256x256", "224x288"});
  CbResolution->setEditText("Default");
  // At its place, at least as wide as the layout asks and wide enough for every listed value in
  // the desktop's font.
  CbResolution->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  CbResolution->setGeometry(104, 52, std::max(65, CbResolution->sizeHint().width()),
                            std::max(21, CbResolution->sizeHint().height()));
  label->setBuddy(CbResolution);
  ChRotateScreen = CheckAt(display, "Rotate Screen (Image Fight)", "ChRotateScreen", 80);

  QGroupBox* sound = Group(area, "Sound", "Sound", 64);
  ChSound = CheckAt(sound, "Enable Sound", "ChSound", 16);
  ChAltFMBase = CheckAt(sound, "Alternative FM Base (338h)", "ChAltFMBase", 32);

  QGroupBox* controls = Group(area, "Controls", "Controls", 48);
  ChJoystick = CheckAt(controls, "Enable Joystick", "ChJoystick", 16);

  QGroupBox* performance = Group(area, "Performance", "Performance", 48);
  ChFrameSkip = CheckAt(performance, "Frameskip (1 for Irem games)", "ChFrameSkip", 16);

  for (QGroupBox* g : {display, sound, controls, performance}) stack->addWidget(g);
  stack->addStretch(1);
  area->setMinimumSize(240, 105 + 64 + 48 + 48);
  SettingsScrollBox->setWidget(area);
  SettingsTab->installEventFilter(this);

  connect(ChUseDefSettings, &QCheckBox::toggled, this,
          [this] { Guarded([this] { ChUseDefSettingsClick(); }); });
  connect(SaveDefaultSettingsButton, &QPushButton::clicked, this,
          [this] { Guarded([this] { SaveDefaultSettingsButtonClick(); }); });
  SettingsScrollBox->hide();
  ChUseDefSettings->hide();
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == SettingsTab && event->type() == QEvent::Resize) {
    // The settings area keeps its place at 0, 40 and follows the page on all four sides.
    SettingsScrollBox->setGeometry(0, 40, SettingsTab->width(),
                                   std::max(0, SettingsTab->height() - 40));
  } else if (watched == SSPanel && event->type() == QEvent::Resize) {
    Guarded([this] { PlaceScreenShot(); });
  } else if (watched == SToolBar && event->type() == QEvent::Resize) {
    SToolBarResize();
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMain::ShowGameSettings() {
  const TCatalogue& cat = Catalogue();
  if (cat.CurrentGame < 0 || cat.CurrentGame >= static_cast<std::int32_t>(cat.Games.size())) {
    ChUseDefSettings->hide();
    SettingsScrollBox->hide();
    return;
  }
  const TGameRecord& game = cat.Games[cat.CurrentGame];
  // While the defaults are edited the button covers the box: hidden, Tab cannot reach it.
  ChUseDefSettings->setVisible(SaveDefaultSettingsButton->isHidden());
  ChVsync->setChecked(game.Vsync);
  ChScanLines->setChecked(game.ScanLines);
  ChRotateScreen->setChecked(game.RotateScreen);
  ChSound->setChecked(game.Sound);
  ChAltFMBase->setChecked(game.AltFMBase);
  ChJoystick->setChecked(game.Joystick);
  ChFrameSkip->setChecked(game.FrameSkip);
  CbResolution->setEditText(ShownText(game.Resolution));
}

void TMain::StoreGameSettings() {
  TCatalogue& cat = Catalogue();
  if (cat.CurrentGame < 0 || cat.CurrentGame >= static_cast<std::int32_t>(cat.Games.size())) return;
  TGameRecord& game = cat.Games[cat.CurrentGame];
  game.Vsync = ChVsync->isChecked();
  game.ScanLines = ChScanLines->isChecked();
  game.RotateScreen = ChRotateScreen->isChecked();
  game.Sound = ChSound->isChecked();
  game.AltFMBase = ChAltFMBase->isChecked();
  game.Joystick = ChJoystick->isChecked();
  game.FrameSkip = ChFrameSkip->isChecked();
  // The bytes read from the file stay as they are unless the text was edited: a value that is no
  // UTF-8 is shown as Windows-1252 text, whose UTF-8 bytes must not be written back in its place.
  const QString resolution = CbResolution->currentText();
  if (resolution != ShownText(game.Resolution))
    game.Resolution = resolution.toStdString();  // cut to 8 bytes by the record
}

void TMain::ChUseDefSettingsClick() {
  TCatalogue& cat = Catalogue();
  SettingsScrollBox->setVisible(!ChUseDefSettings->isChecked());
  if (cat.CurrentGame >= 0 && cat.CurrentGame < static_cast<std::int32_t>(cat.Games.size()))
    cat.Games[cat.CurrentGame].UseDefSettings = ChUseDefSettings->isChecked();
}

bool TMain::FocusInSettingsArea() const {
  QWidget* focus = QApplication::focusWidget();
  return focus && SettingsScrollBox->isAncestorOf(focus);
}

void TMain::OnFocusChanged(QWidget* old, QWidget* now) {
  // Only a move to another control of this window counts; the window losing the focus as a
  // whole (another program, a message box) is no exit from the area.
  if (!old || !now || now->window() != this) return;
  if (SettingsScrollBox->isAncestorOf(old) && !SettingsScrollBox->isAncestorOf(now))
    Guarded([this] { SettingsScrollBoxExit(); });
}

void TMain::SettingsScrollBoxExit() {
  if (Catalogue().CurrentGame < 0) {
    FUi.Beep();
    return;
  }
  StoreGameSettings();
}

void TMain::SetListGreyed(bool greyed) {
  GameList->setEnabled(!greyed);
  GameSearch->setEnabled(!greyed);  // a search would change the selection under the panel
  QPalette palette = GameList->palette();
  palette.setColor(QPalette::Base, greyed ? QApplication::palette().color(QPalette::Button)
                                          : QApplication::palette().color(QPalette::Base));
  GameList->setPalette(palette);
}

void TMain::MenuSetDefaultSettingsClick() {
  SetListGreyed(true);
  StartEmuButton->setEnabled(false);
  Catalogue().CurrentGame = 0;
  ShowGameSettings();
  PageControl->setCurrentWidget(SettingsTab);
  SaveDefaultSettingsButton->show();
  SaveDefaultSettingsButton->raise();
  ChUseDefSettings->hide();
  SettingsScrollBox->show();
}

void TMain::SaveDefaultSettingsButtonClick() {
  SaveDefaultSettingsButton->hide();
  SetListGreyed(false);
  FindCurrentGame();
  ShowGameSettings();
  const TCatalogue& cat = Catalogue();
  if (cat.CurrentGame > 0) {
    const QSignalBlocker block(ChUseDefSettings);
    ChUseDefSettings->setChecked(cat.Games[cat.CurrentGame].UseDefSettings);
  }
  if (cat.CurrentGame > 0) ChUseDefSettingsClick();
}
